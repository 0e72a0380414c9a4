// libFuzzer target: what a peer of the trigger socket sends, in the pieces its reads return
// (each piece: one byte of length, then that many bytes, cut to the room the reader gives).
// Only the exact line "trigger\n" presses, a verdict comes by the end of the stream at the
// latest, and the reader never takes more than its bound.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/qt/TriggerLine.h"

using quillberry::qt::TriggerLine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TriggerLine line;
    std::string sent;
    auto verdict = TriggerLine::Verdict::More;
    for (size_t at = 0; verdict == TriggerLine::Verdict::More;) {
        const size_t wanted = at < size ? data[at++] % (TriggerLine::LONGEST + 1) : 0;
        const size_t n = std::min({wanted, size - at, line.room()});
        if (n == 0 && wanted > 0) break;  // the input ran out mid-piece: the end comes next
        const std::string_view piece(reinterpret_cast<const char*>(data) + at, n);
        at += n, sent += piece;
        verdict = line.take(piece);
        if (sent.size() > TriggerLine::LONGEST) std::abort();
    }
    if (verdict == TriggerLine::Verdict::More) verdict = line.take({});
    if ((verdict == TriggerLine::Verdict::Press) != (sent == "trigger\n")) std::abort();
    return 0;
}
