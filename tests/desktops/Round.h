#pragma once
// The desktops of the round, each a row, and the fixture every case on a desktop shares: a new
// user's session of that desktop with the app started, signed in, its launch notices closed,
// and the screen kept when the case fails.

#include "Desktops.h"
#include "Servers.h"

namespace quillberry::testing {

struct Row {
    const char* name;
    std::unique_ptr<Desktop> (*make)();
    const char* app;
    int launchNotices;  // what the app says at launch there (how to bind the shortcut, the clipboard)
    bool selection;     // automatic mode: the app may read the selection there
    bool textWindow;    // no data-control: the text comes through the app's own window
    bool trigger;       // the desktop runs `quillberry --trigger`
    bool dataControl;   // the clipboard through the compositor's data-control protocol
    bool confirms;      // the desktop asks the user to confirm the app's shortcut
    bool portal;        // the desktop binds the app's shortcut through its portal
    friend void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }
};

// GNOME takes the shortcut through the portal from 48 on, and through a custom shortcut before
// (then the app says how to bind it), and asks to confirm it; KWin lets the app read the
// selection from 6.5 on (ext-data-control), and asks to confirm its shortcut from Plasma 6.4 on.
inline const std::vector<Row>& rows() {
    const bool gnomePortal = packageVersion("gnome-shell") >= 4800;
    const bool kdeConfirms = packageVersion("xdg-desktop-portal-kde") >= 604;
    static const std::vector<Row> all = {
        {"x11", makeX11, QUILLBERRY_APP, 0, true, false, false, false, false, false},
        {"sway", makeSway, QUILLBERRY_APP, 1, true, false, true, true, false, false},
        {"sway_without_data_control", makeSway, QUILLBERRY_APP_NO_DATA_CONTROL, 2, false, true, true, false, false,
         false},
        {"kwin", makeKWin, QUILLBERRY_APP, 0, packageVersion("kwin-wayland") >= 605, false, false, true, kdeConfirms,
         true},
        {"gnome", makeGnome, QUILLBERRY_APP, gnomePortal ? 1 : 2, false, true, !gnomePortal, false, gnomePortal,
         gnomePortal},
    };
    return all;
}

class OnDesktop : public ::testing::TestWithParam<std::tuple<Row, bool>> {
protected:
    const Row& row = std::get<0>(GetParam());
    const bool automatic = std::get<1>(GetParam());
    std::unique_ptr<Desktop> desktop = row.make();
    User& user = desktop->user;

    void SetUp() override {
        user.signIn("me@example.com");
        if (automatic) user.write(user.appFile(".automatic-mode"), "granted\n");
        ASSERT_NO_FATAL_FAILURE(desktop->start());
        ASSERT_NO_FATAL_FAILURE(desktop->startApp(row.app));
        ASSERT_NO_FATAL_FAILURE(desktop->closeLaunchNotices(row.launchNotices, row.confirms));
    }
    void TearDown() override {
        if (HasFailure()) desktop->screenshot();
    }
};

// Each desktop that has `feature`, in manual mode and, where it lets the app read the selection,
// in automatic mode; or only in the `mode` given.
using Feature = bool Row::*;
inline std::vector<std::tuple<Row, bool>> cases(Feature feature = nullptr, std::optional<bool> mode = {}) {
    std::vector<std::tuple<Row, bool>> all;
    for (const Row& row : rows()) {
        for (bool automatic : {false, true}) {
            if ((!automatic || row.selection) && (!feature || row.*feature) && mode.value_or(automatic) == automatic)
                all.emplace_back(row, automatic);
        }
    }
    return all;
}
inline std::string caseName(const ::testing::TestParamInfo<std::tuple<Row, bool>>& p) {
    return std::string(std::get<0>(p.param).name) + (std::get<1>(p.param) ? "_automatic" : "");
}

}  // namespace quillberry::testing
