#pragma once

#include <string>

namespace quillberry::qt {

// Counts running instances with an advisory lock the kernel drops when a process dies,
// so a killed instance never blocks the next start and simultaneous starts race safely.
// 1: this process holds the lock (kept for life). 2: another live process does.
// 0: the lock could not be taken or tested; start-up goes on.
int instanceCountByLock(const std::string& bundleId);

// Where the lock lives: $XDG_RUNTIME_DIR, or the temporary directory without one.
std::string lockPath(const std::string& bundleId);

}  // namespace quillberry::qt
