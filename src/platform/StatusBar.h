#pragma once
// The status item, its menu, and the bundled image it shows.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillberry {

class Image {
public:
    virtual ~Image() = default;
};

struct MenuItem {
    std::string title;
    std::string action;         // empty: informational, cannot be chosen
    std::string keyEquivalent;  // with the primary modifier
    bool separator = false;
    bool operator==(const MenuItem&) const = default;
    static MenuItem separatorItem() { return {"", "", "", true}; }
};

class StatusButton {
public:
    virtual ~StatusButton() = default;
    virtual void setImage(std::shared_ptr<Image> image) = 0;  // null removes it
    virtual void setTitle(const std::string& title) = 0;
};

class StatusItem {
public:
    virtual ~StatusItem() = default;
    virtual StatusButton* button() = 0;  // may be null
    // The menu opens on a click; a chosen item calls perform(action).
    virtual void setMenu(std::vector<MenuItem> items, std::function<void(const std::string& action)> perform) = 0;
};

// The item takes the width its content needs.
class StatusBar {
public:
    virtual ~StatusBar() = default;
    virtual std::unique_ptr<StatusItem> makeStatusItem() = 0;
};

class Resources {
public:
    virtual ~Resources() = default;
    virtual std::optional<std::string> pathForResource(const std::string& name, const std::string& type) = 0;
};

class Images {
public:
    virtual ~Images() = default;
    // Null when the file cannot be read as an image. Shown at the status bar's icon size,
    // in its own colours.
    virtual std::shared_ptr<Image> imageWithContentsOfFile(const std::string& path) = 0;
};

}  // namespace quillberry
