#pragma once

#include <chrono>
#include <string>

namespace quillberry::qt {

// Counts running instances with an advisory lock the kernel drops when a process dies,
// so a killed instance never blocks the next start and simultaneous starts race safely.
// 1: this process holds the lock (kept for life). 2: another live process does.
// 0: the lock could not be taken or tested; start-up goes on.
int instanceCountByLock(const std::string& bundleId);

// Where the lock lives: $XDG_RUNTIME_DIR when it is this user's alone (0700, as it should
// be), or else a 0700 folder of this user's in /tmp; empty when that folder is not safe to use.
std::string lockPath(const std::string& bundleId);

// The running instance's trigger socket, beside the lock: a connection that sends
// "trigger\n" is a press of the hotkey, answered "ok\n".
std::string triggerPath(const std::string& bundleId);

// `quillberry --trigger`: asks the running instance to do what the hotkey does, within
// `limit` in all. Returns the process's exit status: 0 once the instance has taken the press,
// 1 when none runs, 2 when one runs but did not take it in time (it says which on stderr,
// and starts nothing).
int sendTrigger(const std::string& bundleId, std::chrono::milliseconds limit = std::chrono::seconds(5));

}  // namespace quillberry::qt
