#pragma once

#include <string>

#include "platform/Alerts.h"

namespace quillberry {

AlertSpec emptyTextNotice(bool automatic);
AlertSpec successNotice(const std::string& improvedPrompt);
AlertSpec failureNotice();

}  // namespace quillberry
