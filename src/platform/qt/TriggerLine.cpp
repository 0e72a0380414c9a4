#include "platform/qt/TriggerLine.h"

namespace quillberry::qt {

TriggerLine::Verdict TriggerLine::take(std::string_view arrived) {
    line_.append(arrived.substr(0, room()));
    if (!arrived.empty() && line_.find('\n') == std::string::npos && line_.size() < LONGEST) return Verdict::More;
    return line_ == "trigger\n" ? Verdict::Press : Verdict::Refuse;
}

}  // namespace quillberry::qt
