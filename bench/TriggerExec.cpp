// `quillberry --trigger` from exec to the running instance's answer: the program is started
// RUNS times, one after the other, and each run is timed from the spawn to its exit (which
// follows the answer at once).
//   trigger_exec PROGRAM RUNS
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern char** environ;

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const int runs = std::atoi(argv[2]);
    char trigger[] = "--trigger";
    char* args[] = {argv[1], trigger, nullptr};
    std::vector<double> ms;
    int failed = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, argv[1], nullptr, nullptr, args, environ) != 0 || waitpid(pid, &status, 0) != pid)
            return 1;
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
    }
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::size_t(q * double(ms.size() - 1))]; };
    std::printf("%d runs (%d not taken): median %.2f ms, p10 %.2f, p90 %.2f, min %.2f, max %.2f\n", runs, failed,
                at(0.5), at(0.1), at(0.9), ms.front(), ms.back());
    return failed == 0 ? 0 : 1;
}
