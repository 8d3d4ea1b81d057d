// The zelnic-sim binary: run, hold-lock (locks across processes) and make-fw.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "byte_order.h"
#include "cfg.h"
#include "image/crc32_info.h"
#include "image/flash_layout.h"
#include "maintain.h"
#include "sim_fixture.h"
#include "flash/unique_fd.h"

namespace zsim::test {
namespace {

struct child_run {
    int status = -1;  // as a shell reports it; -1: did not end in time
    std::string out, err;
};

// Runs zelnic-sim with `args`, optionally as another user, collecting its
// output; kills it after `timeout_s`.
child_run run_sim(const std::vector<std::string>& args, double timeout_s = 60, uid_t as_uid = 0) {
    std::vector<std::string> words = {ZELNIC_SIM_PATH};
    words.insert(words.end(), args.begin(), args.end());
    test_support::process_result p = test_support::run_process(words, timeout_s, as_uid);
    return {p.timed_out ? -1 : p.status, std::move(p.out), std::move(p.err)};
}

std::vector<std::string> in_sim(const std::string& state, const std::string& script) {
    return {"run", "--state", state, "--", "sh", "-c", script};
}

TEST(SimRun, PassesTheCommandsStatusThrough) {
    require_fuse();
    temp_dir state;
    struct case_ {
        const char* script;
        int status;
    } const cases[] = {
        {"exit 0", 0},
        {"exit 7", 7},
        {"kill -TERM $$", 128 + SIGTERM},
        {"kill -KILL $$", 128 + SIGKILL},
        {"exec /nonexistent/command", 127},
    };
    for (const auto& c : cases) {
        const child_run r = run_sim(in_sim(state.path(), c.script));
        EXPECT_EQ(r.status, c.status) << c.script << "\n" << r.err;
    }
    const child_run r = run_sim({"run", "--state", state.path(), "--", "/nonexistent/command"});
    EXPECT_EQ(r.status, 127);
    EXPECT_NE(r.err.find("zelnic-sim: cannot run /nonexistent/command"), std::string::npos) << r.err;
}

TEST(SimRun, ShowsTheControllersInsideOnly) {
    require_fuse();
    temp_dir state;
    const child_run r = run_sim(in_sim(
        state.path(),
        "ls /sys/bus/pci/drivers; ls /sys/bus/pci/drivers/zelnic | grep 0000; "
        "cat /sys/bus/pci/drivers/zelnic/0000:05:00.0/device /sys/class/net/enp4s0f1/address"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "zelnic\n0000:03:00.0\n0000:04:00.0\n0000:04:00.1\n0000:05:00.0\n"
              "0x8208\n02:5a:e1:04:00:01\n");
    EXPECT_EQ(r.err, "");  // --state given: nothing to announce
    // Outside, the kernel's folders are as they were.
    EXPECT_FALSE(std::filesystem::exists("/sys/bus/pci/drivers/zelnic"));
    EXPECT_FALSE(std::filesystem::exists("/sys/class/net/enp4s0f1"));
    EXPECT_TRUE(std::filesystem::exists("/sys/class/net/lo"));
    for (const char* card : {"0000:03:00.0", "0000:04:00.0", "0000:05:00.0"})
        EXPECT_TRUE(std::filesystem::exists(state.path() + "/" + card + ".flash")) << card;
}

TEST(SimRun, ConfigFileAndTemporaryState) {
    require_fuse();
    temp_dir dir;
    const std::string cfg = dir.path() + "/sim.conf";
    std::ofstream(cfg) << "card 0000:09:00.0 flash=erased\niface only0\n";
    const child_run r = run_sim({"run", "--config", cfg, "--", "ls", "/sys/class/net"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "only0\n");
    const std::string prefix = "zelnic-sim: flash images and request log in ";
    ASSERT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
    const std::string state = r.err.substr(prefix.size(), r.err.size() - prefix.size() - 1);
    EXPECT_EQ(std::filesystem::file_size(state + "/0000:09:00.0.flash"), 0xCA000u);
    std::filesystem::remove_all(state);

    std::ofstream(cfg) << "card 0000:09:00.0 flash=maybe\n";
    const child_run bad = run_sim({"run", "--config", cfg, "--", "true"});
    EXPECT_EQ(bad.status, 125);
    EXPECT_NE(bad.err.find(cfg + ":1: flash must be"), std::string::npos) << bad.err;
}

TEST(SimRun, RefusesWithoutRoot) {
    require_fuse();
    const child_run r = run_sim({"run", "--", "true"}, 30, 65534);
    EXPECT_EQ(r.status, 125);
    EXPECT_NE(r.err.find("run needs root"), std::string::npos) << r.err;
}

TEST(SimRun, DoesNotHangOnFilesHeldByOrphans) {
    require_fuse();
    temp_dir state;
    const auto t0 = std::chrono::steady_clock::now();
    const child_run r = run_sim(
        in_sim(state.path(),
               "sleep 4 </sys/class/net/enp3s0f0/maintain >/dev/null 2>&1 & sleep 0.2; exit 3"),
        30);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3))
        << "the simulator waited for the orphan";
}

TEST(SimRun, ForwardsTerminationToTheCommand) {
    require_fuse();
    temp_dir state;
    std::vector<std::string> words = {ZELNIC_SIM_PATH};
    for (const auto& a : in_sim(state.path(), "echo up; sleep 30"))
        words.push_back(a);
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::execv(argv[0], argv.data());
        ::_exit(98);
    }
    ::close(out[1]);
    char buf[8] = {};
    ASSERT_EQ(::read(out[0], buf, 3), 3);  // "up\n": the command runs
    ::close(out[0]);
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    int ws = 0;
    ASSERT_EQ(::waitpid(pid, &ws, 0), pid);
    ASSERT_TRUE(WIFEXITED(ws)) << "the simulator itself died of the signal";
    EXPECT_EQ(WEXITSTATUS(ws), 128 + SIGTERM);
}

class Locks : public mounted_sim {};

// Starts hold-lock on `path` and returns once it printed "locked".
pid_t start_holder(const std::string& path, const char* seconds, int& out_fd) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::execl(ZELNIC_SIM_PATH, ZELNIC_SIM_PATH, "hold-lock", path.c_str(), seconds, nullptr);
        ::_exit(98);
    }
    ::close(out[1]);
    out_fd = out[0];
    char buf[8] = {};
    if (::read(out_fd, buf, 7) != 7 || std::string(buf) != "locked\n")
        return -1;
    return pid;
}

TEST_F(Locks, RecordLocksExcludeOtherProcesses) {
    mount("card 0000:03:00.0 flash=erased\niface e0\niface e1\n");
    int out = -1;
    const pid_t holder = start_holder(maintain("e0"), "1.5", out);
    ASSERT_GT(holder, 0);
    unique_fd holder_out(out);

    struct flock lk {};
    lk.l_type = F_WRLCK;
    lk.l_whence = SEEK_SET;
    unique_fd fd(::open(maintain("e0").c_str(), O_RDWR));
    ASSERT_TRUE(fd);
    EXPECT_EQ(::fcntl(fd.get(), F_SETLK, &lk), -1);
    EXPECT_TRUE(errno == EAGAIN || errno == EACCES) << std::strerror(errno);
    struct flock probe = lk;
    ASSERT_EQ(::fcntl(fd.get(), F_GETLK, &probe), 0);
    EXPECT_EQ(probe.l_type, F_WRLCK);
    EXPECT_EQ(probe.l_pid, holder);
    // Another interface's maintain file is not covered.
    unique_fd other(::open(maintain("e1").c_str(), O_RDWR));
    ASSERT_TRUE(other);
    struct flock lk1 = lk;
    EXPECT_EQ(::fcntl(other.get(), F_SETLK, &lk1), 0) << std::strerror(errno);

    const auto t0 = std::chrono::steady_clock::now();
    struct flock wait_lk = lk;
    EXPECT_EQ(::fcntl(fd.get(), F_SETLKW, &wait_lk), 0) << std::strerror(errno);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(800));
    int ws = 0;
    ASSERT_EQ(::waitpid(holder, &ws, 0), holder);
    EXPECT_TRUE(WIFEXITED(ws) && WEXITSTATUS(ws) == 0);
}

TEST(MakeFw, WritesTheRequestedImage) {
    temp_dir dir;
    struct case_ {
        std::vector<std::string> args;
        u32 size;
        u32 chip_group;
        int crc;  // check_crc result
        bool net_config;
    } const cases[] = {
        {{}, 0x41000, 0, 1, true},
        {{"--crc"}, 0x41000, 0, 0, true},
        {{"--chip-group", "0x88488208", "--crc"}, 0x41000, KV3_CHIP_GROUP, 0, true},
        {{"--size=0xCA000", "--chip-group=0x88488308"}, 0xCA000, KV9_CHIP_GROUP, 1, true},
        {{"--size", "1024", "--crc"}, 1024, 0, 0, false},
        {{"--size", "64"}, 64, 0, 1, false},
    };
    for (const auto& c : cases) {
        const std::string out = dir.path() + "/fw.bin";
        std::vector<std::string> args = {"make-fw"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back(out);
        const std::string what = ::testing::PrintToString(c.args);
        ASSERT_EQ(run_sim(args).status, 0) << what;
        std::vector<u8> img = read_whole(out);
        ASSERT_EQ(img.size(), c.size) << what;
        EXPECT_EQ(word_at(img, offsetof(config_page_st, reserved1)), c.chip_group) << what;
        EXPECT_EQ(read_whole(out), img) << what;
        if (c.net_config) {
            const std::size_t at = CFG_PARTION;
            EXPECT_EQ(word_at(img, at), NET_CFG_MAGIC) << what;
            EXPECT_EQ(get_le16(img.data() + at + 8), sizeof(net_config)) << what;
            EXPECT_EQ(get_le16(img.data() + at + 10), NET_CFG_VERSION) << what;
            // Consistent: the words, csum included, exclusive-or to zero.
            EXPECT_EQ(crxsum(img.data() + at, sizeof(net_config)), 0u) << what;
            EXPECT_NE(word_at(img, at + 4), 0u) << what;
        }
        if (img.size() >= 512) {
            EXPECT_EQ(check_crc(img.data(), static_cast<int>(img.size())), c.crc) << what;
        }
    }
    // Deterministic: the same arguments give the same bytes.
    const std::string a = dir.path() + "/a.bin", b = dir.path() + "/b.bin";
    ASSERT_EQ(run_sim({"make-fw", a}).status, 0);
    ASSERT_EQ(run_sim({"make-fw", b}).status, 0);
    EXPECT_EQ(read_whole(a), read_whole(b));

    struct bad_case {
        std::vector<std::string> args;
        int status;
        const char* message;
    } const bad[] = {
        {{"make-fw"}, 2, "make-fw needs an output file"},
        {{"make-fw", "--size", "63", a}, 1, "too small for the boot configuration page"},
        {{"make-fw", "--size", "511", "--crc", a}, 1, "no room for a CRC trailer"},
        {{"make-fw", "--size", "-5", a}, 2, "--size: not a number"},
        {{"make-fw", "--colour", a}, 2, "unexpected argument --colour"},
    };
    for (const auto& c : bad) {
        const child_run r = run_sim(c.args);
        EXPECT_EQ(r.status, c.status) << ::testing::PrintToString(c.args);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace zsim::test
