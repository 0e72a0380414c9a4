// How often the built-in improver picks the kind of help a labelled request asks for.
//   improver_accuracy FILE.tsv   (kind<TAB>request per line; # starts a comment)
// Prints the accuracy per kind and overall, then every miss.
//   improver_accuracy --time
// Prints how long the choice takes on 1 MiB requests of a few shapes (median of 5 runs).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "BuiltinImprover.h"

using quillberry::service::classifyRequest;
using quillberry::service::RequestKind;

namespace {

const std::map<std::string, RequestKind> KINDS = {{"none", RequestKind::Generic},
                                                  {"mail", RequestKind::Mail},
                                                  {"code", RequestKind::Code},
                                                  {"summary", RequestKind::Summary},
                                                  {"translation", RequestKind::Translation},
                                                  {"creative", RequestKind::Creative},
                                                  {"explanation", RequestKind::Explanation}};

std::string nameOf(RequestKind kind) {
    for (const auto& [name, k] : KINDS)
        if (k == kind) return name;
    return "?";
}

// A request of about 1 MiB made of `piece` repeated: no cue, so every word is read.
std::string repeated(const std::string& piece) {
    std::string text;
    while (text.size() < (1u << 20)) text += piece;
    return text;
}

int timeBigRequests() {
    const std::pair<const char*, std::string> shapes[] = {
        {"question words", repeated("how why what is are does comment pourquoi ")},
        {"words with parentheses", repeated("the value (of a thing) went [up] again ")},
        {"accented letters", repeated("élève à côté d'une fenêtre déjà ouverte ")},
        {"one long word repeated", repeated("antidisestablishmentarianism ")}};
    for (const auto& [name, text] : shapes) {
        std::vector<double> ms;
        for (int run = 0; run < 5; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const RequestKind kind = classifyRequest(text);
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            if (kind != RequestKind::Generic) std::printf("(%s read as %s)\n", name, nameOf(kind).c_str());
        }
        std::sort(ms.begin(), ms.end());
        std::printf("1 MiB of %-24s %6.1f ms\n", name, ms[2]);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--time") return timeBigRequests();
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.tsv | --time\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    std::map<std::string, std::pair<int, int>> perKind;  // right, total
    std::vector<std::string> misses;
    int right = 0, total = 0, lineNo = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        const auto tab = line.find('\t');
        const auto kind = tab == std::string::npos ? KINDS.end() : KINDS.find(line.substr(0, tab));
        if (kind == KINDS.end()) {
            std::fprintf(stderr, "line %d: expected a known kind, a tab and a request\n", lineNo);
            return 2;
        }
        const std::string request = line.substr(tab + 1);
        const RequestKind got = classifyRequest(request);
        auto& [kindRight, kindTotal] = perKind[kind->first];
        ++kindTotal;
        ++total;
        if (got == kind->second) {
            ++kindRight;
            ++right;
        } else {
            misses.push_back(kind->first + " taken as " + nameOf(got) + ": " + request);
        }
    }
    if (total == 0) {
        std::fprintf(stderr, "no requests in %s\n", argv[1]);
        return 2;
    }
    for (const auto& [name, counts] : perKind)
        std::printf("%-12s %3d/%-3d %.2f\n", name.c_str(), counts.first, counts.second,
                    double(counts.first) / counts.second);
    std::printf("%-12s %3d/%-3d %.2f\n", "overall", right, total, double(right) / total);
    for (const auto& miss : misses) std::printf("miss: %s\n", miss.c_str());
}
