// The zelnic-sim binary's run command: statuses, its own failures, the private tree.
#include <signal.h>

#include <chrono>
#include <filesystem>

#include "sim_fixture.h"

namespace zsim::test {
namespace {

using namespace std::chrono_literals;
using clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using words = std::vector<std::string>;

// Runs zelnic-sim with `args`; status -1 when it overstays.
test_support::process_result run_sim(words args) {
    args.insert(args.begin(), ZELNIC_SIM_PATH);
    return test_support::run_process(args, 30);
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
    } const cases[] = {
        {in_sim({"sh", "-c", "exit 7"}), 7},
        {in_sim({"sh", "-c", "kill -TERM $$"}), 128 + SIGTERM},
        // SIGTERM sent to the simulator is the command's to handle.
        {in_sim({"sh", "-c", "trap 'exit 9' TERM; kill -TERM $PPID; sleep 5 >/dev/null 2>&1 & wait"}),
         9},
        {in_sim({"/nonexistent/command"}), 127, "zelnic-sim: cannot run /nonexistent/command"},
        {{"run", "--config", cfg, "--", "true"}, 125, ":1: flash must be"},
    };
    for (const auto& c : cases) {
        const auto r = run_sim(c.args);
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

}  // namespace
}  // namespace zsim::test
