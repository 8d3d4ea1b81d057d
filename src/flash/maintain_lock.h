// The advisory whole-file write lock that makes one maintain exchange
// exclusive against every other program honouring it.
#pragma once

#include "base/result.h"

// Seconds within which the lock must be obtained.
constexpr int FILE_RW_LOCK_TIME = 60;

enum class lock_wait {
    no,   // each request fails at once while the lock is held elsewhere
    yes,  // each request blocks until the lock is free
};

// Locks the whole file open on `fd` (start 0, length 0 = to its end). A
// failed request is repeated until `limit_s` seconds have passed since the
// first one; then prints "get lock timeout " and returns lock_timeout.
// With lock_wait::no the repeats wait in the kernel, ended at the limit by a
// timer of the calling thread that sends it a real-time signal (SIGRTMIN + 4,
// whose handler this installs and which it unblocks in that thread while it
// waits); other threads may wait for their own locks at the same time.
result lock_maintain_file(int fd, lock_wait wait, int limit_s = FILE_RW_LOCK_TIME);

// Releases that lock. A failure is reported as "fcntl" and returns
// lock_release.
result unlock_maintain_file(int fd);

// The lock of one exchange: taken when made, released on every way out.
class maintain_lock_guard {
public:
    maintain_lock_guard(int fd, lock_wait wait, int limit_s = FILE_RW_LOCK_TIME);
    ~maintain_lock_guard();
    maintain_lock_guard(const maintain_lock_guard&) = delete;
    maintain_lock_guard& operator=(const maintain_lock_guard&) = delete;

    // How taking the lock ended; nothing is held unless it is ok.
    const result& taken() const { return taken_; }
    // Releases the lock now, with the failure report of unlock_maintain_file.
    result release();

private:
    int fd_;
    result taken_;
    bool held_;
};
