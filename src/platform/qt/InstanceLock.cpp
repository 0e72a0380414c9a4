#include "platform/qt/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace quillberry::qt {

std::string lockPath(const std::string& bundleId) {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    const bool runtimeDir = dir && *dir;
    // Built by appending: GCC 12 at -O3 reports a false -Wrestrict on chained operator+.
    std::string path = runtimeDir ? dir : "/tmp";
    path.append("/").append(bundleId);
    if (!runtimeDir) path.append("-").append(std::to_string(getuid()));
    path.append(".lock");
    return path;
}

int instanceCountByLock(const std::string& bundleId) {
    static int heldFd = -1;  // held for the life of the process
    if (heldFd >= 0) return 1;
    int fd = ::open(lockPath(bundleId).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        heldFd = fd;
        return 1;
    }
    int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? 2 : 0;
}

}  // namespace quillberry::qt
