#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "BackendSupport.h"
#include "onboarding/OnboardingWindow.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtViewKit.h"

namespace quillberry::testing {
namespace {

QWidget* widgetOf(View& view) { return qt::stateOf(view).widget; }

TEST(ViewKit, OnboardingFramesAreFlippedIntoTheFixedWindow) {
    qt::QtPlatform platform("app.quillberry.test-views");
    auto onboarding = std::make_shared<OnboardingWindow>();
    onboarding->window().makeKeyAndOrderFront();
    QWidget* window = widgetOf(*onboarding->window().contentView());
    ASSERT_TRUE(spinUntil([&] { return window->isVisible(); }));
    EXPECT_EQ(window->size(), QSize(480, 420));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "cannot be resized";

    // Bottom-left frames become top-left geometry: y = 420 - y - h.
    EXPECT_EQ(widgetOf(onboarding->titleLabel())->geometry(), QRect(40, 420 - 255 - 36, 400, 36));
    EXPECT_EQ(widgetOf(onboarding->actionButton())->geometry(), QRect(140, 420 - 70 - 44, 200, 44));
    EXPECT_EQ(widgetOf(onboarding->iconLabel())->font().pixelSize(), 52);
    EXPECT_EQ(widgetOf(onboarding->titleLabel())->font().weight(), QFont::Bold);

    onboarding->nextStep();
    EXPECT_EQ(widgetOf(onboarding->subtitleLabel())->geometry(), QRect(40, 420 - 205 - 40, 400, 40));
    EXPECT_TRUE(widgetOf(onboarding->emailField())->isVisible());
    EXPECT_FALSE(widgetOf(onboarding->iconLabel())->isVisible());
    auto* field = qobject_cast<QLineEdit*>(widgetOf(onboarding->emailField()));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->geometry(), QRect(90, 420 - 160 - 32, 300, 32));
    field->setText("me@example.com");
    EXPECT_EQ(onboarding->emailField().stringValue(), "me@example.com");

    // The dots sit as one centred row in their 100 x 16 box.
    std::vector<View*> dots = onboarding->dotsStack().arrangedSubviews();
    ASSERT_EQ(dots.size(), 3u);
    QWidget* first = widgetOf(*dots[0]);
    QWidget* last = widgetOf(*dots[2]);
    EXPECT_EQ(first->size(), QSize(8, 8));
    QPoint left = first->mapTo(window, QPoint(0, 0)), right = last->mapTo(window, QPoint(8, 0));
    EXPECT_EQ(left.x() + right.x(), 480) << "centred on the window";

    auto* next = qobject_cast<QPushButton*>(widgetOf(onboarding->actionButton()));
    next->click();  // the Qt button reaches nextStep
    EXPECT_EQ(onboarding->currentStep, 2);
    onboarding->window().close();
    EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace quillberry::testing
