#include <gtest/gtest.h>

#include <QPushButton>
#include <QWidget>

#include "Processes.h"
#include "onboarding/OnboardingWindow.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtViewKit.h"

namespace quillberry::testing {
namespace {

QWidget* widgetOf(View& view) { return qt::stateOf(view).widget; }

// Where the views sit, on real pixels: the action button and the current page's dot, which the
// bottom-left frames put there only if the backend turns them the right way up.
TEST(ViewKit, EachOnboardingPageIsDrawnRightWayUp) {
    qt::QtPlatform platform("app.quillberry.test-views");
    auto onboarding = std::make_shared<OnboardingWindow>();
    onboarding->window().makeKeyAndOrderFront();
    QWidget* window = widgetOf(*onboarding->window().contentView());
    ASSERT_TRUE(waitFor([&] { return window->isVisible(); }));
    for (int page = 0; page < 3; ++page) {
        SCOPED_TRACE("page " + std::to_string(page));
        // The dark window, the white action button, and the current page's dot.
        QImage shot = window->grab().toImage();
        EXPECT_LT(qGray(shot.pixel(4, 4)), 20);
        EXPECT_EQ(shot.pixel(150, 310), qRgb(255, 255, 255));
        for (int dot = 0; dot < 3; ++dot) {
            QWidget* d = widgetOf(*onboarding->dots()[size_t(dot)]);
            QPoint centre = d->mapTo(window, QPoint(4, 4));
            EXPECT_EQ(shot.pixel(centre) == qRgb(255, 255, 255), dot == page) << "dot " << dot;
            EXPECT_EQ(centre.y(), 402);
        }
        qobject_cast<QPushButton*>(widgetOf(onboarding->actionButton()))->click();
    }
}

}  // namespace
}  // namespace quillberry::testing
