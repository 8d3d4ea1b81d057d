#include "maintain_lock.h"

#include <fcntl.h>

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
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

// Between two requests that fail at once (no wait timer could be made, or the
// waiting request itself fails): long enough not to burn a core, short next
// to one exchange.
constexpr auto LOCK_RETRY_PAUSE = std::chrono::milliseconds(10);

// After the limit, the timer repeats at this interval, so that an expiry
// that came just before the waiting request started still ends it.
constexpr long LOCK_TIMER_REPEAT_NS = 10'000'000;

int lock_timer_signal() { return SIGRTMIN + 4; }

void ignore_lock_timer(int) {}

// The handler does nothing; without SA_RESTART its only effect is that a
// waiting fcntl of the thread the timer targets returns EINTR.
void install_lock_timer_handler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_handler = ignore_lock_timer;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        ::sigaction(lock_timer_signal(), &sa, nullptr);
    });
}

// A timer of the calling thread alone that interrupts its waiting lock
// request at wall-clock second `at`. Other threads, each with a timer of its
// own, are never disturbed.
class lock_wait_timer {
public:
    explicit lock_wait_timer(std::time_t at) {
        install_lock_timer_handler();
        sigset_t sig;
        sigemptyset(&sig);
        sigaddset(&sig, lock_timer_signal());
        // A thread that blocks the signal would otherwise wait forever.
        if (::pthread_sigmask(SIG_UNBLOCK, &sig, &saved_mask_) != 0)
            return;
        mask_changed_ = true;
        struct sigevent ev {};
        ev.sigev_notify = SIGEV_THREAD_ID;
        ev.sigev_signo = lock_timer_signal();
        ev._sigev_un._tid = ::gettid();
        if (::timer_create(CLOCK_REALTIME, &ev, &timer_) != 0)
            return;
        struct itimerspec when {};
        when.it_value.tv_sec = at;
        when.it_interval.tv_nsec = LOCK_TIMER_REPEAT_NS;
        if (::timer_settime(timer_, TIMER_ABSTIME, &when, nullptr) != 0) {
            ::timer_delete(timer_);
            return;
        }
        armed_ = true;
    }
    ~lock_wait_timer() {
        if (armed_)
            ::timer_delete(timer_);
        if (mask_changed_)
            ::pthread_sigmask(SIG_SETMASK, &saved_mask_, nullptr);
    }
    lock_wait_timer(const lock_wait_timer&) = delete;
    lock_wait_timer& operator=(const lock_wait_timer&) = delete;

    bool armed() const { return armed_; }

private:
    timer_t timer_{};
    sigset_t saved_mask_{};
    bool mask_changed_ = false;
    bool armed_ = false;
};

}  // namespace

result lock_maintain_file(int fd, lock_wait wait, int limit_s) {
    // Whole seconds, so the limit is reached after between limit_s and
    // limit_s + 1 seconds.
    const std::time_t first_try = std::time(nullptr);
    const auto past_limit = [&](std::time_t now) { return now - first_try > limit_s; };
    // The non-waiting form still waits, but in the kernel: the first refusal
    // arms a timer for the second the limit is passed, and the requests after
    // it block until the lock is free or the timer ends them.
    std::optional<lock_wait_timer> timer;
    for (;;) {
        const std::time_t now = std::time(nullptr);
        const bool blocking = wait == lock_wait::yes || (timer && timer->armed() && !past_limit(now));
        if (whole_file_lock(fd, F_WRLCK, blocking ? F_SETLKW : F_SETLK) == 0)
            return {};
        const int err = errno;
        if (past_limit(now)) {
            messages().print("get lock timeout \n");
            return result::fail(fault_code::lock_timeout, "get lock timeout");
        }
        if (wait == lock_wait::yes)
            continue;
        if (!timer) {
            timer.emplace(first_try + limit_s + 1);
            if (timer->armed())
                continue;
        }
        if (!blocking || err != EINTR)
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
