#pragma once

#include <string>

namespace quillberry::qt {

// Counts running instances with an advisory lock the kernel drops when a process dies,
// so a killed instance never blocks the next start and simultaneous starts race safely.
// 1: this process holds the lock (kept for life). 2: another live process does.
// 0: the lock could not be taken or tested; start-up goes on.
int instanceCountByLock(const std::string& bundleId);

// Where the lock lives: $XDG_RUNTIME_DIR, or without one a 0700 folder of this user's in
// /tmp; empty when that folder is not safe to use.
std::string lockPath(const std::string& bundleId);

}  // namespace quillberry::qt
