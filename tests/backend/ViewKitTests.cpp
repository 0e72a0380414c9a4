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

// What each page shows and where, in window pixels with the origin at the top-left.
struct Shown { std::string view; QRect at; };
const std::vector<std::vector<Shown>> PAGES = {
    {{"icon", {0, 50, 480, 60}}, {"title", {40, 129, 400, 36}}, {"subtitle", {40, 170, 400, 95}},
     {"action", {140, 306, 200, 44}}},
    {{"title", {40, 129, 400, 36}}, {"subtitle", {40, 175, 400, 40}}, {"email", {90, 228, 300, 32}},
     {"action", {140, 306, 200, 44}}, {"skip", {140, 355, 200, 30}}},
    {{"title", {40, 129, 400, 36}}, {"subtitle", {40, 165, 400, 60}}, {"tip", {30, 240, 420, 60}},
     {"action", {140, 306, 200, 44}}},
};

TEST(ViewKit, EachOnboardingPageShowsItsViewsWhereTheLayoutPutsThem) {
    qt::QtPlatform platform("app.quillberry.test-views");
    auto onboarding = std::make_shared<OnboardingWindow>();
    onboarding->window().makeKeyAndOrderFront();
    QWidget* window = widgetOf(*onboarding->window().contentView());
    ASSERT_TRUE(waitFor([&] { return window->isVisible(); }));
    EXPECT_EQ(window->minimumSize(), QSize(480, 420));
    EXPECT_EQ(window->maximumSize(), QSize(480, 420));
    const std::map<std::string, View*> views = {
        {"icon", &onboarding->iconLabel()},   {"title", &onboarding->titleLabel()},
        {"subtitle", &onboarding->subtitleLabel()}, {"email", &onboarding->emailField()},
        {"action", &onboarding->actionButton()}, {"skip", &onboarding->skipButton()},
        {"tip", &onboarding->tipLabel()}};
    for (size_t page = 0; page < PAGES.size(); ++page) {
        SCOPED_TRACE("page " + std::to_string(page));
        std::set<std::string> expected;
        for (const Shown& shown : PAGES[page]) {
            QWidget* w = widgetOf(*views.at(shown.view));
            expected.insert(shown.view);
            EXPECT_EQ(w->geometry(), shown.at) << shown.view;
        }
        for (auto& [name, view] : views) EXPECT_EQ(widgetOf(*view)->isVisible(), expected.count(name) > 0) << name;

        // Real pixels: the dark window, the white action button, and the current page's dot.
        QImage shot = window->grab().toImage();
        EXPECT_LT(qGray(shot.pixel(4, 4)), 20);
        EXPECT_EQ(shot.pixel(150, 310), qRgb(255, 255, 255));
        for (int dot = 0; dot < 3; ++dot) {
            QWidget* d = widgetOf(*onboarding->dotsStack().arrangedSubviews()[size_t(dot)]);
            QPoint centre = d->mapTo(window, QPoint(4, 4));
            EXPECT_EQ(shot.pixel(centre) == qRgb(255, 255, 255), dot == int(page)) << "dot " << dot;
            EXPECT_EQ(centre.y(), 402);
        }
        qobject_cast<QPushButton*>(widgetOf(onboarding->actionButton()))->click();
    }
    EXPECT_FALSE(window->isVisible()) << "the last page's button closes the window";
}

}  // namespace
}  // namespace quillberry::testing
