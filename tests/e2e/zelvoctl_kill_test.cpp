// A burn killed with SIGKILL at any point (its flash writes slowed down so
// that each point can be reached): the backup folder it names is whole or
// absent, and the same burn run again, or a restore from that backup and a
// burn, brings the card to the state a burn that was never interrupted
// leaves.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_support.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// Starts the burn, waits for the point, kills it.
constexpr char KILL_SCRIPT[] = R"sh(
zelvoctl=$1 fw=$2 pxe=$3 dir=$4 log=$5 point=$6
"$zelvoctl" --history "$dir/history" burn enp3s0f0 --fw "$fw" --pxe "$pxe" --backup-dir "$dir/b" >/dev/null 2>&1 &
pid=$!
writes() { grep -c " cmd=1 part=$1 " "$log" 2>/dev/null; }
for i in $(seq 100000); do
    case $point in
    backup) compgen -G "$dir/.b.partial-*" >/dev/null && break ;;
    pxe) [ -d "$dir/b" ] && break ;;
    firmware) [ "$(writes 5)" -ge 1 ] && break ;;
    read-back) [ "$(writes 1)" -ge 1 ] && break ;;
    esac
done
kill -9 $pid 2>/dev/null
wait $pid
echo "ended $?"
)sh";

sim_run zelvoctl(const std::string& dir, std::vector<std::string> args, const std::string& state) {
    args.insert(args.begin(), {zelvoctl_path(), "--history", dir + "/history"});
    return run_in_sim(args, "", state);
}

std::vector<u8> flash_of(const std::string& state) { return read_file_bytes(state + "/" + CARD4.addr + ".flash"); }

TEST(ZelvoctlKill, ABurnKilledAtAnyPointLeavesAWholeBackupOrNoneAndTheCardRecovers) {
    const temp_dir files, clean;
    const std::string fw = files / "kv9.fw", pxe = files / "pxe.bin";
    ASSERT_EQ(run_in_sim({sim_path(), "make-fw", "--crc", "--chip-group", "0x88488308", fw}, "", clean.path()).status, 0);
    std::vector<u8> pxe_bytes(0x9000);
    for (std::size_t i = 0; i < pxe_bytes.size(); ++i)
        pxe_bytes[i] = static_cast<u8>(i * 13 + 5);
    write_file_bytes(pxe, pxe_bytes);
    // What the card holds before any burn, and after one never interrupted.
    zelvoctl(clean.path(), {"list"}, clean.path());
    const std::vector<u8> original = flash_of(clean.path());
    ASSERT_EQ(zelvoctl(clean.path(), {"burn", "enp3s0f0", "--fw", fw, "--pxe", pxe, "--no-backup"}, clean.path()).status, 0);
    const std::vector<u8> burnt = flash_of(clean.path());
    ASSERT_NE(burnt, original);

    // Reads are not slowed down: the kill "during the backup" may land once
    // it is complete, the one "during the read-back" once the burn ended.
    const struct {
        const char* point;
        bool backup_taken;  // the backup must be complete when the burn is killed
        bool may_end;       // the burn may end before the kill lands
    } cases[] = {{"backup", false, false}, {"pxe", true, false}, {"firmware", true, false}, {"read-back", true, true}};
    for (const auto& c : cases) {
        const temp_dir state, dir;
        const std::string log = state.path() + "/requests.log", backup = dir / "b";
        const sim_run killed =
            run_in_sim({"/bin/bash", "-c", KILL_SCRIPT, "kill", zelvoctl_path(), fw, pxe, dir.path(), log, c.point},
                       sim_default_config() + "fault enp3s0f0 write-delay-ms=800\n", state.path());
        EXPECT_TRUE(killed.out == "ended 137\n" || (c.may_end && killed.out == "ended 0\n")) << c.point << killed.out;
        const bool taken = fs::exists(backup);
        if (c.backup_taken) {
            EXPECT_TRUE(taken) << c.point;
        }
        const std::vector<std::string> burn = {"burn", "enp3s0f0", "--fw", fw, "--pxe", pxe, "--backup-dir", backup};
        if (!taken) {
            // Killed while backing up: no folder under the backup's name,
            // nothing written; the same burn again finishes the job.
            EXPECT_EQ(byte_diff(flash_of(state.path()), original), "") << c.point;
            const sim_run again = zelvoctl(dir.path(), burn, state.path());
            EXPECT_EQ(again.status, 0) << c.point << again.err;
        } else {
            // The same burn again keeps the backup it took (refused, nothing
            // written); the backup is whole and brings the card back.
            const std::size_t logged = read_request_log(state.path()).size();
            const sim_run again = zelvoctl(dir.path(), burn, state.path());
            EXPECT_EQ(again.status, 2) << c.point << again.err;
            const auto after = read_request_log(state.path());
            EXPECT_EQ(log_summary({after.begin() + static_cast<long>(logged), after.end()}).find('w'), std::string::npos);
            const sim_run restore = zelvoctl(dir.path(), {"restore", "enp3s0f0", "--from", backup}, state.path());
            EXPECT_EQ(restore.status, 0) << c.point << restore.err;
            EXPECT_EQ(byte_diff(flash_of(state.path()), original), "") << c.point << ": the restore";
            const sim_run fresh = zelvoctl(dir.path(), {"burn", "enp3s0f0", "--fw", fw, "--pxe", pxe, "--backup-dir",
                                                        dir / "b2"}, state.path());
            EXPECT_EQ(fresh.status, 0) << c.point << fresh.err;
        }
        EXPECT_EQ(byte_diff(flash_of(state.path()), burnt), "") << c.point << ": the burn after the kill";
    }
}

}  // namespace
}  // namespace e2e
