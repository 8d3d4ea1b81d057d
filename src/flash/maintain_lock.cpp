#include "maintain_lock.h"

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "base/file_io.h"
#include "base/message_sink.h"

namespace {

int whole_file_lock(int fd, short type, int cmd) {
    struct flock lk {};
    lk.l_type = type;
    lk.l_whence = SEEK_SET;
    lk.l_start = 0;
    lk.l_len = 0;
    return ::fcntl(fd, cmd, &lk);
}

// Between two non-waiting requests: long enough not to burn a core while
// another process holds the lock, short next to one exchange.
constexpr auto LOCK_RETRY_PAUSE = std::chrono::milliseconds(10);

}  // namespace

result lock_maintain_file(int fd, lock_wait wait, int limit_s) {
    const int cmd = wait == lock_wait::yes ? F_SETLKW : F_SETLK;
    // Whole seconds, so the limit is reached after between limit_s and
    // limit_s + 1 seconds.
    const std::time_t first_try = std::time(nullptr);
    for (;;) {
        const std::time_t now = std::time(nullptr);
        if (whole_file_lock(fd, F_WRLCK, cmd) == 0)
            return {};
        if (now - first_try > limit_s) {
            messages().print("get lock timeout \n");
            return result::fail(fault_code::lock_timeout, "get lock timeout");
        }
        if (wait == lock_wait::no)
            std::this_thread::sleep_for(LOCK_RETRY_PAUSE);
    }
}

result unlock_maintain_file(int fd) {
    if (whole_file_lock(fd, F_UNLCK, F_SETLKW) != 0) {
        const int err = errno;
        sys_error_report("fcntl", err);
        return result::fail(fault_code::lock_release, std::string("fcntl: ") + std::strerror(err));
    }
    return {};
}

maintain_lock_guard::maintain_lock_guard(int fd, lock_wait wait, int limit_s)
    : fd_(fd), taken_(lock_maintain_file(fd, wait, limit_s)), held_(taken_.ok()) {}

maintain_lock_guard::~maintain_lock_guard() {
    // A way out that did not release the lock itself: the caller's failure
    // is what gets reported, not this one.
    if (held_)
        whole_file_lock(fd_, F_UNLCK, F_SETLKW);
}

result maintain_lock_guard::release() {
    held_ = false;
    return unlock_maintain_file(fd_);
}
