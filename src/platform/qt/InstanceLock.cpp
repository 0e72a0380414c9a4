#include "platform/qt/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    return (st.st_mode & 0777) == 0700 || ::chmod(path.c_str(), 0700) == 0;
}

// <runtime folder>/<bundle id><suffix>, or empty when no safe folder exists.
std::string runtimeFile(const std::string& bundleId, const char* suffix) {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    // Built by appending: GCC 12 at -O3 reports a false -Wrestrict on chained operator+.
    std::string path;
    if (dir && *dir) {
        path = dir;
    } else {
        path.append("/tmp/quillberry-").append(std::to_string(::getuid()));
        if (!privateFolder(path)) return "";
    }
    return path.append("/").append(bundleId).append(suffix);
}

}  // namespace

std::string lockPath(const std::string& bundleId) { return runtimeFile(bundleId, ".lock"); }

std::string triggerPath(const std::string& bundleId) { return runtimeFile(bundleId, ".trigger"); }

int sendTrigger(const std::string& bundleId) {
    const std::string path = triggerPath(bundleId);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    char answer[4] = {};
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool delivered = fd >= 0 && !path.empty() && path.size() < sizeof addr.sun_path;
    if (delivered) {
        path.copy(addr.sun_path, path.size());
        timeval limit{5, 0};  // the instance answers from its event loop, at once unless a dialog is up
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        delivered = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                    ::send(fd, "trigger\n", 8, MSG_NOSIGNAL) == 8 && ::recv(fd, answer, 3, MSG_WAITALL) == 3 &&
                    std::string_view(answer) == "ok\n";
    }
    if (fd >= 0) ::close(fd);
    if (!delivered)
        std::fputs("quillberry : aucune instance en cours, rien n'est déclenché. Lancez d'abord « quillberry ».\n",
                   stderr);
    return delivered ? 0 : 1;
}

int instanceCountByLock(const std::string& bundleId) {
    static int heldFd = -1;  // held for the life of the process
    if (heldFd >= 0) return 1;
    const std::string path = lockPath(bundleId);
    if (path.empty()) return 0;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return 0;
    struct stat st {};
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
