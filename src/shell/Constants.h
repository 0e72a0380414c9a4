#pragma once
// Process-wide constants. The build fixes their values (see CMakeLists.txt); the app has
// no configuration file, option or environment variable that could change them.

#include <string_view>

#include "BuildConfig.h"

namespace quillberry {

inline constexpr std::string_view SERVER_URL = QUILLBERRY_SERVER_URL;
inline constexpr std::string_view BUNDLE_ID = QUILLBERRY_BUNDLE_ID;
inline constexpr std::string_view SUPPORT_URL = QUILLBERRY_SUPPORT_URL;
inline constexpr std::string_view ONBOARDING_KEY = "quillberry_onboarding_done";
inline constexpr std::string_view EMAIL_KEY = "verbalift_email";

}  // namespace quillberry
