#pragma once
// What a peer of the trigger socket says, read in pieces as they arrive: kept apart from the
// socket so that any bytes at all can be tried against it.

#include <cstddef>
#include <string>
#include <string_view>

namespace quillberry::qt {

class TriggerLine {
public:
    // A client sends a few bytes: a longer line is refused, not read on.
    static constexpr std::size_t LONGEST = 16;
    enum class Verdict { More, Press, Refuse };

    // How many bytes the next read may take.
    std::size_t room() const { return LONGEST - line_.size(); }
    // Adds what arrived (nothing: the peer's end); "trigger\n" presses, and a line of anything
    // else, one too long or one cut short by the end refuses.
    Verdict take(std::string_view arrived);

private:
    std::string line_;
};

}  // namespace quillberry::qt
