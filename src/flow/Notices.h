#pragma once

#include <cstddef>
#include <string>

#include "platform/Alerts.h"

namespace quillberry {

AlertSpec emptyTextNotice(bool automatic);
AlertSpec successNotice(const std::string& improvedPrompt);
// `localServiceDown`: the service is on this machine and not running, which the user can mend.
AlertSpec failureNotice(bool localServiceDown = false);
// A text over the size the service accepts.
AlertSpec tooLongNotice(std::size_t textBytes, std::size_t limitBytes);

}  // namespace quillberry
