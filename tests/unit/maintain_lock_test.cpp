// The maintain file lock against another holder: two threads wait at once,
// each ended by its own limit or by its holder letting go.
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "base/unique_fd.h"
#include "flash/maintain_lock.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

struct wait_result {
    fault_code code = fault_code::none;
    double wall_s = 0;
    bool mask_kept = true;
};

// Locks a fresh file held through another open file description (whose lock
// conflicts with this process's own) until `release_after`: a wait that
// outlasts it takes the lock, so a lost time-out fails instead of hanging.
wait_result wait_for(const std::string& name, int limit_s, std::chrono::milliseconds release_after, bool block_all) {
    const std::string path = ::testing::TempDir() + "kv7_lock_" + name + "_" + std::to_string(::getpid());
    const unique_fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600));
    unique_fd holder(::open(path.c_str(), O_RDWR));
    struct flock lk {};
    lk.l_type = F_WRLCK;
    if (::fcntl(holder.get(), F_OFD_SETLK, &lk) != 0)
        throw std::runtime_error("the holder did not get the lock");
    std::thread releaser([&] {
        std::this_thread::sleep_for(release_after);
        holder.reset();
    });
    sigset_t all, before, after;
    sigfillset(&all);
    pthread_sigmask(block_all ? SIG_BLOCK : SIG_SETMASK, block_all ? &all : nullptr, &before);
    const auto start = std::chrono::steady_clock::now();
    wait_result r{lock_maintain_file(fd.get(), lock_wait::no, limit_s).code};
    r.wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    pthread_sigmask(SIG_SETMASK, &before, &after);
    if (block_all)
        r.mask_kept = sigismember(&after, SIGRTMIN + 4) == 1;
    releaser.join();
    std::filesystem::remove(path);
    return r;
}

// A time-out signalled to the wrong thread, or not at all to a thread that
// blocks every signal, leaves the first waiting past its limit; a wait not
// woken when its holder lets go ends the second only at its limit.
TEST(MaintainLockWait, ThreadsWaitingAtOnceEachKeepTheirOwnLimit) {
    wait_result timed_out, acquired;
    testing::internal::CaptureStdout();
    std::thread a([&] { timed_out = wait_for("held", 0, 3s, true); });
    std::thread b([&] { acquired = wait_for("freed", 5, 2500ms, false); });
    a.join();
    b.join();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "get lock timeout \n");
    EXPECT_EQ(timed_out.code, fault_code::lock_timeout);
    EXPECT_LT(timed_out.wall_s, 2.0);
    EXPECT_TRUE(timed_out.mask_kept) << "the caller's blocked signals were left unblocked";
    EXPECT_EQ(acquired.code, fault_code::none);
    EXPECT_GE(acquired.wall_s, 2.49);
    EXPECT_LT(acquired.wall_s, 4.0) << "the wait outlasted the holder";
}

}  // namespace
