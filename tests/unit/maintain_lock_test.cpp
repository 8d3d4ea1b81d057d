// The maintain file lock against a holder in another process: the wait ends
// when the holder lets go or, for the non-waiting form, at the time limit;
// several threads may wait at once, each ended by its own limit.
#include <fcntl.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "flash/maintain_lock.h"
#include "test_support.h"
#include "base/unique_fd.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A child process that holds the whole-file write lock on `path` until
// release() (or the end of the test).
class lock_holder {
public:
    explicit lock_holder(const fs::path& path) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only its own pipe ends: a holder forked by another thread must
            // not keep this one's release pipe open.
            for (int fd = 3; fd < 1024; ++fd)
                if (fd != ready[1] && fd != release[0])
                    ::close(fd);
            const int fd = ::open(path.c_str(), O_RDWR);
            struct flock lk {};
            lk.l_type = F_WRLCK;
            lk.l_whence = SEEK_SET;
            if (fd < 0 || ::fcntl(fd, F_SETLKW, &lk) != 0)
                ::_exit(1);
            char c = 1;
            if (::write(ready[1], &c, 1) != 1)
                ::_exit(1);
            [[maybe_unused]] const ssize_t n = ::read(release[0], &c, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_fd_ = release[1];
        char c = 0;
        const bool locked = ::read(ready[0], &c, 1) == 1;
        ::close(ready[0]);
        if (!locked)
            throw std::runtime_error("the holder did not get the lock");
    }
    ~lock_holder() {
        release();
        ::waitpid(pid_, nullptr, 0);
    }
    void release() {
        if (release_fd_ >= 0)
            ::close(release_fd_);
        release_fd_ = -1;
    }

private:
    pid_t pid_ = -1;
    int release_fd_ = -1;
};

fs::path lock_file(const std::string& name) {
    const fs::path p = fs::path(::testing::TempDir()) / ("kv7_lock_" + name + "_" + std::to_string(::getpid()));
    unique_fd(::open(p.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600));
    return p;
}

struct wait_result {
    bool ended = false;
    fault_code code = fault_code::none;
    double wall_s = 0;
};

// Locks `path` with lock_maintain_file in the calling thread while a holder
// keeps it, released after `release_after` unless that is empty.
wait_result wait_for(const fs::path& path, lock_wait wait, int limit_s,
                     std::optional<std::chrono::milliseconds> release_after) {
    lock_holder holder(path);
    std::thread releaser;
    if (release_after)
        releaser = std::thread([&] {
            std::this_thread::sleep_for(*release_after);
            holder.release();
        });
    const unique_fd fd(::open(path.c_str(), O_RDWR));
    const auto start = std::chrono::steady_clock::now();
    wait_result r;
    const result got = lock_maintain_file(fd.get(), wait, limit_s);
    r.ended = !got.ok();
    r.code = got.code;
    r.wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (releaser.joinable())
        releaser.join();
    return r;
}

bool same_mask(const sigset_t& a, const sigset_t& b) {
    for (int sig = 1; sig <= SIGRTMAX; ++sig)
        if (sigismember(&a, sig) != sigismember(&b, sig))
            return false;
    return true;
}

TEST(MaintainLockWait, EndsAtTheReleaseOrTheLimit) {
    struct row {
        const char* name;
        lock_wait wait;
        int limit_s;
        std::optional<std::chrono::milliseconds> release_after;
        bool block_timer_signal;  // the caller has every signal blocked
        bool ended;
    };
    const row rows[] = {
        {"released while waiting", lock_wait::no, 5, 300ms, false, false},
        {"held past the limit", lock_wait::no, 0, {}, false, true},
        {"held past the limit, signals blocked", lock_wait::no, 0, {}, true, true},
        {"released, signals blocked", lock_wait::no, 5, 300ms, true, false},
        {"waiting form, released", lock_wait::yes, 0, 1500ms, false, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        sigset_t all, before, during, after;
        sigfillset(&all);
        pthread_sigmask(r.block_timer_signal ? SIG_BLOCK : SIG_SETMASK, r.block_timer_signal ? &all : nullptr,
                        &before);
        pthread_sigmask(SIG_SETMASK, nullptr, &during);
        testing::internal::CaptureStdout();
        const wait_result w = wait_for(lock_file("rows"), r.wait, r.limit_s, r.release_after);
        const std::string output = testing::internal::GetCapturedStdout();
        pthread_sigmask(SIG_SETMASK, &before, &after);
        EXPECT_TRUE(same_mask(after, during)) << "the caller's signal mask changed";
        EXPECT_EQ(w.ended, r.ended);
        EXPECT_EQ(output, r.ended ? "get lock timeout \n" : "");
        if (r.ended) {
            EXPECT_EQ(w.code, fault_code::lock_timeout);
            // Whole seconds: a limit of 0 s is passed within (0, 1] s.
            EXPECT_LT(w.wall_s, r.limit_s + 2.0);
        } else {
            EXPECT_GE(w.wall_s, r.release_after->count() / 1000.0 - 0.01);
        }
    }
}

TEST(MaintainLockWait, ThreadsWaitingAtOnceEachKeepTheirOwnLimit) {
    // One thread's file stays locked past its 0 s limit while the other's is
    // released after 2.5 s within its 5 s limit; a time-out signalled to the
    // wrong thread would leave the first waiting and end the second.
    const fs::path held = lock_file("held"), freed = lock_file("freed");
    std::optional<wait_result> timed_out, acquired;
    testing::internal::CaptureStdout();
    std::thread a([&] { timed_out = wait_for(held, lock_wait::no, 0, {}); });
    std::thread b([&] { acquired = wait_for(freed, lock_wait::no, 5, 2500ms); });
    a.join();
    b.join();
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(timed_out && acquired);
    EXPECT_TRUE(timed_out->ended);
    EXPECT_EQ(timed_out->code, fault_code::lock_timeout);
    EXPECT_LT(timed_out->wall_s, 2.0);
    EXPECT_FALSE(acquired->ended);
    EXPECT_GE(acquired->wall_s, 2.49);
}

}  // namespace
