#include "shell/StatusMenu.h"

#include "hotkey/Shortcut.h"
#include "platform/Platform.h"

namespace quillberry {

std::vector<MenuItem> statusMenuItems() {
    return {
        {"Quillberry", "", ""},
        {"Raccourci : " + shortcutText(), "changeShortcut", ""},
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
}

void attachStatusMenu(StatusItem& item, std::function<void(const std::string&)> perform) {
    item.setMenu(statusMenuItems(), std::move(perform));
}

void applyIdleLook(StatusItem& item, IdleLookTitle titleRule) {
    std::shared_ptr<Image> image;
    if (auto path = platform().resources().pathForResource("menubar_icon", "png")) {
        image = platform().images().imageWithContentsOfFile(*path);
    }
    StatusButton* button = item.button();
    if (!button) return;
    if (image) {
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

}  // namespace quillberry
