#pragma once

#include <optional>
#include <string>

namespace quillberry {

// Per-user values that persist across launches.
class Defaults {
public:
    virtual ~Defaults() = default;
    virtual std::optional<std::string> stringForKey(const std::string& key) = 0;
    virtual bool boolForKey(const std::string& key) = 0;  // false when absent
    virtual void setString(const std::string& key, const std::string& value) = 0;
    virtual void setBool(const std::string& key, bool value) = 0;
    virtual void removeObject(const std::string& key) = 0;
};

}  // namespace quillberry
