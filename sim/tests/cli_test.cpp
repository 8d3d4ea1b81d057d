// The zelnic-sim binary: run, hold-lock (locks across processes) and make-fw.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>

#include "cfg.h"
#include "image/crc32_info.h"
#include "sim_fixture.h"

namespace zsim::test {
namespace {

using namespace std::chrono_literals;
using clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using words = std::vector<std::string>;

// Runs zelnic-sim with `args`, as user `as_uid` unless 0; status -1 when it overstays.
// Another user runs a copy in a folder it can reach: the build folder may sit
// below one only root can enter.
test_support::process_result run_sim(words args, uid_t as_uid = 0) {
    temp_dir reachable;
    std::string sim = ZELNIC_SIM_PATH;
    if (as_uid != 0) {
        namespace fs = std::filesystem;
        fs::permissions(reachable.path(), fs::perms(0755));
        sim = reachable / "zelnic-sim";
        fs::copy_file(ZELNIC_SIM_PATH, sim);
    }
    args.insert(args.begin(), sim);
    return test_support::run_process(args, 30, as_uid);
}

TEST(SimRun, PassesTheCommandsStatusThroughAndReportsItsOwnFailures) {
    ASSERT_NO_FATAL_FAILURE(require_fuse());
    temp_dir state;
    const std::string cfg = state.path() + "/sim.conf";
    std::ofstream(cfg) << "card 0000:09:00.0 flash=maybe\n";
    auto in_sim = [&state](words command) {
        command.insert(command.begin(), {"run", "--state", state.path(), "--"});
        return command;
    };
    struct case_ {
        words args;
        int status;
        const char* message = nullptr;  // expected on standard error
        uid_t uid = 0;
    } const cases[] = {
        {in_sim({"sh", "-c", "exit 7"}), 7},
        {in_sim({"sh", "-c", "kill -TERM $$"}), 128 + SIGTERM},
        {in_sim({"sh", "-c", "kill -KILL $$"}), 128 + SIGKILL},
        // SIGTERM sent to the simulator is the command's to handle.
        {in_sim({"sh", "-c", "trap 'exit 9' TERM; kill -TERM $PPID; sleep 5 >/dev/null 2>&1 & wait"}),
         9},
        {in_sim({"/nonexistent/command"}), 127, "zelnic-sim: cannot run /nonexistent/command"},
        {{"run", "--config", cfg, "--", "true"}, 125, ":1: flash must be"},
        {{"run", "--", "true"}, 125, "run needs root", 65534},
    };
    for (const auto& c : cases) {
        const auto r = run_sim(c.args, c.uid);
        EXPECT_EQ(r.status, c.status) << c.args.back() << "\n" << r.err;
        if (c.message) {
            EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        }
    }
}

TEST(SimRun, ShowsTheControllersInsideOnlyAndDoesNotWaitForOrphans) {
    ASSERT_NO_FATAL_FAILURE(require_fuse());
    const auto t0 = clock::now();
    // The command has a mount namespace of its own; it leaves an orphan holding a file open.
    const std::string script =
        "[ $(readlink /proc/self/ns/mnt) != " + fs::read_symlink("/proc/self/ns/mnt").string() +
        " ] && echo own-ns; ls /sys/bus/pci/drivers; ls /sys/bus/pci/drivers/zelnic | grep 0000; "
        "cat /sys/bus/pci/drivers/zelnic/0000:05:00.0/device /sys/class/net/enp4s0f1/address; "
        "sleep 4 </sys/class/net/enp3s0f0/maintain >/dev/null 2>&1 & sleep 0.2; exit 3";
    const auto r = run_sim({"run", "--", "sh", "-c", script});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_LT(clock::now() - t0, 3s) << "the simulator waited for the orphan";
    EXPECT_EQ(r.out,
              "own-ns\nzelnic\n0000:03:00.0\n0000:04:00.0\n0000:04:00.1\n0000:05:00.0\n"
              "0x8208\n02:5a:e1:04:00:01\n");
    // Outside, the kernel's folders are as they were.
    EXPECT_FALSE(fs::exists("/sys/bus/pci/drivers/zelnic"));
    EXPECT_FALSE(fs::exists("/sys/class/net/enp4s0f1"));
    EXPECT_TRUE(fs::exists("/sys/class/net/lo"));
    // Without --state the images go to a fresh folder, announced on stderr.
    const std::string prefix = "zelnic-sim: flash images and request log in ";
    ASSERT_EQ(r.err.rfind(prefix + "/tmp/zelnic-sim-state.", 0), 0u) << r.err;
    const std::string state = r.err.substr(prefix.size(), r.err.find('\n') - prefix.size());
    EXPECT_EQ(r.err, prefix + state + "\n");
    EXPECT_TRUE(fs::exists(state + "/0000:03:00.0.flash")) << state;
    fs::remove_all(state);
}

class Locks : public mounted_sim {};

TEST_F(Locks, HoldLockExcludesOtherProcesses) {
    mount("card 0000:03:00.0 flash=erased\niface e0\niface e1\n");
    const std::string file = maintain("e0");  // made before fork: the child only execs
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ::dup2(out[1], 1);
        ::execl(ZELNIC_SIM_PATH, ZELNIC_SIM_PATH, "hold-lock", file.c_str(), "1.5", nullptr);
        ::_exit(98);
    }
    ::close(out[1]);
    unique_fd holder_out(out[0]);
    char said[8] = {};
    ASSERT_EQ(::read(out[0], said, 7), 7);
    ASSERT_STREQ(said, "locked\n");

    struct flock lk {};  // a write lock over the whole file
    lk.l_type = F_WRLCK;
    unique_fd fd(::open(file.c_str(), O_RDWR)), other(::open(maintain("e1").c_str(), O_RDWR));
    EXPECT_EQ(::fcntl(fd.get(), F_SETLK, &lk), -1) << "the holder's lock was not seen";
    EXPECT_EQ(::fcntl(other.get(), F_SETLK, &lk), 0) << "another interface's file is not covered";
    const auto t0 = clock::now();
    EXPECT_EQ(::fcntl(fd.get(), F_SETLKW, &lk), 0) << std::strerror(errno);
    EXPECT_GE(clock::now() - t0, 800ms);
    int ws = 0;
    ASSERT_EQ(::waitpid(holder, &ws, 0), holder);
    EXPECT_TRUE(WIFEXITED(ws) && WEXITSTATUS(ws) == 0);
}

}  // namespace
}  // namespace zsim::test
