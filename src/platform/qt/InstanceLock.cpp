#include "platform/qt/InstanceLock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace quillberry::qt {

namespace {
// A folder only this user can use: made 0700 if missing; refused when it is a link, not a
// folder, or another user's (who could otherwise hold the lock and keep the app from starting).
bool privateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st = {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    return (st.st_mode & 0777) == 0700 || ::chmod(path.c_str(), 0700) == 0;
}

// The session's runtime folder when it is this user's alone, as it should be; one that is
// shared (another user's, or open to others) could hold a socket or lock of someone else's.
bool privateRuntimeFolder(const char* dir) {
    struct stat st = {};
    return dir && *dir && ::lstat(dir, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

// <runtime folder>/<bundle id><suffix>, or empty when no safe folder exists.
std::string runtimeFile(const std::string& bundleId, const char* suffix) {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    // Built by appending: GCC 12 at -O3 reports a false -Wrestrict on chained operator+.
    std::string path;
    if (privateRuntimeFolder(dir)) {
        path = dir;
    } else {
        path.append("/tmp/quillberry-").append(std::to_string(::getuid()));
        if (!privateFolder(path)) return "";
    }
    return path.append("/").append(bundleId).append(suffix);
}

enum class Answer { Taken, Busy, Absent };

// One press for the instance listening at `path`, within `limit` in all.
Answer askInstance(const std::string& path, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limit;
    auto msLeft = [&] {
        return int(std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
    };
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return Answer::Absent;
    path.copy(addr.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return Answer::Absent;
    // No socket or no one listening: absent. A full backlog (an instance that does not accept,
    // stopped or hung) refuses at once; asked again until the deadline, never waited on for ever.
    int connected;
    while ((connected = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr)) != 0 && errno == EAGAIN &&
           msLeft() > 0)
        ::poll(nullptr, 0, 5);
    Answer answer = connected != 0 && errno != EAGAIN ? Answer::Absent : Answer::Busy;
    if (connected == 0 && ::send(fd, "trigger\n", 8, MSG_NOSIGNAL) == 8) {
        // The instance answers from its event loop, at once unless that loop is held up.
        std::string got;
        pollfd readable{fd, POLLIN, 0};
        while (got.size() < 3 && ::poll(&readable, 1, msLeft()) > 0) {
            char buffer[3];
            const ssize_t n = ::recv(fd, buffer, 3 - got.size(), 0);
            if (n <= 0 && !(n < 0 && errno == EINTR)) break;
            if (n > 0) got.append(buffer, std::size_t(n));
        }
        // Closed without a word: the instance is going away.
        answer = got == "ok\n" ? Answer::Taken : got.empty() && msLeft() > 0 ? Answer::Absent : Answer::Busy;
    }
    ::close(fd);
    return answer;
}

}  // namespace

std::string lockPath(const std::string& bundleId) { return runtimeFile(bundleId, ".lock"); }

std::string triggerPath(const std::string& bundleId) { return runtimeFile(bundleId, ".trigger"); }

int sendTrigger(const std::string& bundleId, std::chrono::milliseconds limit) {
    switch (askInstance(triggerPath(bundleId), limit)) {
        case Answer::Taken:
            return 0;
        case Answer::Absent:
            std::fputs("quillberry : aucune instance en cours, rien n'est déclenché. Lancez d'abord « quillberry ».\n",
                       stderr);
            return 1;
        case Answer::Busy:
            break;
    }
    // The instance exists but did not take the press in time; it will not act on it later.
    std::fputs("quillberry : Quillberry est occupé et n'a pas pris le raccourci. Réessaie dans un instant.\n", stderr);
    return 2;
}

int instanceCountByLock(const std::string& bundleId) {
    static int heldFd = -1;  // held for the life of the process
    if (heldFd >= 0) return 1;
    const std::string path = lockPath(bundleId);
    if (path.empty()) return 0;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return 0;
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
        ::close(fd);  // not a lock this user made: neither trusted nor touched
        return 0;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        heldFd = fd;
        return 1;
    }
    int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? 2 : 0;
}

}  // namespace quillberry::qt
