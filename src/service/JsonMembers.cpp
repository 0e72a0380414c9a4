#include "service/JsonMembers.h"

#include <nlohmann/json.hpp>

#include "config/Limits.h"

namespace quillberry {

namespace {

// The parser is iterative, and nesting past MAX_JSON_DEPTH stops it.
class MemberReader : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit MemberReader(const std::vector<std::string_view>& names) : values(names.size()), names_(names) {}
    std::vector<std::optional<std::string>> values;
    bool topIsObject = false;

    bool null() override { return scalar(); }
    bool boolean(bool) override { return scalar(); }
    bool number_integer(number_integer_t) override { return scalar(); }
    bool number_unsigned(number_unsigned_t) override { return scalar(); }
    bool number_float(number_float_t, const string_t&) override { return scalar(); }
    bool binary(binary_t&) override { return scalar(); }
    bool string(string_t& value) override {
        if (wanted_) *wanted_ = std::move(value), wanted_ = nullptr;
        return true;
    }
    bool key(string_t& name) override {
        wanted_ = nullptr;
        for (std::size_t i = 0; depth_ == 1 && i < names_.size(); ++i)
            if (name == names_[i]) wanted_ = &values[i];
        return true;
    }
    bool start_object(std::size_t) override {
        if (depth_ == 0) topIsObject = true;
        return scalar() && ++depth_ <= MAX_JSON_DEPTH;
    }
    bool start_array(std::size_t) override { return scalar() && ++depth_ <= MAX_JSON_DEPTH; }
    bool end_object() override { return --depth_, true; }
    bool end_array() override { return --depth_, true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    // A later duplicate that is not a string replaces an earlier string, as in a tree.
    bool scalar() {
        if (wanted_) wanted_->reset(), wanted_ = nullptr;
        return true;
    }
    const std::vector<std::string_view>& names_;
    int depth_ = 0;
    std::optional<std::string>* wanted_ = nullptr;
};

}  // namespace

std::optional<std::vector<std::optional<std::string>>> topLevelStrings(std::string_view body,
                                                                       const std::vector<std::string_view>& names) {
    MemberReader reader(names);
    if (!nlohmann::json::sax_parse(body, &reader) || !reader.topIsObject) return std::nullopt;
    return std::move(reader.values);
}

}  // namespace quillberry
