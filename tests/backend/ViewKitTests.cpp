#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
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
struct Shown { std::string view; QRect at; std::string text; };
const std::vector<std::vector<Shown>> PAGES = {
    {{"icon", {0, 50, 480, 60}, "Q"},
     {"title", {40, 129, 400, 36}, "Bienvenue sur Quillberry"},
     {"subtitle", {40, 170, 400, 95}, "Optimise tes prompts en un raccourci.\nCopie ton texte avec Cmd+C, appuie sur "
                                      "Cmd+U,\net obtiens un prompt amélioré instantanément."},
     {"action", {140, 306, 200, 44}, "Suivant"}},
    {{"title", {40, 129, 400, 36}, "Connecte-toi"},
     {"subtitle", {40, 175, 400, 40}, "Entre l'email utilisé pour ton abonnement."},
     {"email", {90, 228, 300, 32}, ""},
     {"action", {140, 306, 200, 44}, "Continuer"},
     {"skip", {140, 355, 200, 30}, "Plus tard"}},
    {{"title", {40, 129, 400, 36}, "C'est prêt !"},
     {"subtitle", {40, 165, 400, 60}, "1. Copie ton prompt avec Cmd+C\n2. Appuie sur Cmd+U\n3. Colle le résultat avec Cmd+V"},
     {"tip", {30, 240, 420, 60}, "⚡ Tu veux un seul raccourci (sans Cmd+C) ?\nClique sur l'icône Quillberry en haut,\n"
                                 "puis « Activer le mode automatique »."},
     {"action", {140, 306, 200, 44}, "Commencer"}},
};

std::string textOf(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdString();
    return qobject_cast<QPushButton*>(w)->text().toStdString();
}

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
            EXPECT_EQ(textOf(w), shown.text) << shown.view;
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
    EXPECT_FALSE(onboarding->window().isVisible());
}

}  // namespace
}  // namespace quillberry::testing
