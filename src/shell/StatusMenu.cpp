#include "shell/StatusMenu.h"

#include "shell/AppDelegate.h"

namespace quillberry {

const std::vector<MenuItem>& statusMenuItems() {
    static const std::vector<MenuItem> items = {
        {"Quillberry", "", ""},
        {"Raccourci : Cmd+U", "", ""},
        MenuItem::separatorItem(),
        {"\U0001F4E7  Changer d'email", "changeEmailAction", ""},
        {"\U0001F6AA  Se déconnecter", "logoutAction", ""},
        {"\U0001F4D6  Mode d'emploi", "showHelp", ""},
        {"\U0001F4AC  J'ai un problème", "openSupport", ""},
        MenuItem::separatorItem(),
        {"\u26A1  Activer le mode automatique...", "enableAutoMode", ""},
        MenuItem::separatorItem(),
        {"Quitter", "quitApp", "q"},
    };
    return items;
}

void attachStatusMenu(AppDelegate& target, StatusItem& item) {
    item.setMenu(statusMenuItems(), [&target](const std::string& action) { target.perform(action); });
}

void applyIdleLook(StatusItem& item, IdleLookTitle titleRule) {
    std::shared_ptr<Image> image;
    if (auto path = platform().resources().pathForResource("menubar_icon", "png")) {
        image = platform().images().imageWithContentsOfFile(*path);
    }
    StatusButton* button = item.button();
    if (!button) return;
    if (image) {
        image->setTemplate(false);
        image->setSize(18, 18);
        button->setImage(image);
        if (titleRule == IdleLookTitle::ClearOnImagePath) button->setTitle("");
    } else {
        button->setTitle("Q");
    }
}

void applyProcessingLook(StatusItem& item) {
    if (StatusButton* button = item.button()) {
        button->setImage(nullptr);
        button->setTitle("...");
    }
}

void AppDelegate::setMenuBarIcon() {
    if (statusItem) applyIdleLook(*statusItem, IdleLookTitle::ClearOnImagePath);
}

void AppDelegate::quitApp() { platform().application().terminate(); }

}  // namespace quillberry
