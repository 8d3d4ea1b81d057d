// A burn killed with SIGKILL at any point (its flash writes slowed down so
// that each point can be reached) leaves its backup whole or absent, and the
// card comes back to what an uninterrupted burn leaves.
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

TEST(ZelvoctlKill, ABurnKilledAtAnyPointLeavesAWholeBackupOrNoneAndTheCardRecovers) {
    const temp_dir files, clean;
    const std::string fw = make_fw(files / "kv9.fw", "0x88488308"), pxe = files / "pxe.bin";
    write_file_bytes(pxe, std::vector<u8>(0x9000, 0x5a));
    const auto zelvoctl = [](const std::string& dir, std::vector<std::string> args) {
        return zelvoctl_in_sim(args, dir, "").status;
    };
    const auto burn = [&](const std::string& backup) {
        return std::vector<std::string>{"burn", "enp3s0f0", "--fw", fw, "--pxe", pxe, "--backup-dir", backup};
    };
    // What the card holds before any burn, and after one never interrupted.
    zelvoctl(clean.path(), {"list"});
    const std::vector<u8> original = flash_in(clean.path(), CARD4);
    ASSERT_EQ(zelvoctl(clean.path(), burn(clean / "b")), 0);
    const std::vector<u8> burnt = flash_in(clean.path(), CARD4);

    // Reads are not slowed down: the kill "during the backup" may land once
    // it is complete, the one "during the read-back" once the burn ended.
    for (const auto& [point, must_be_taken] : {std::pair{"backup", false}, {"pxe", true}, {"firmware", true}, {"read-back", true}}) {
        const temp_dir state;
        const std::string backup = state / "b";
        const sim_run killed = run_in_sim({"/bin/bash", "-c", KILL_SCRIPT, "kill", zelvoctl_path(), fw, pxe, state.path(),
                                           state / "requests.log", point},
                                          sim_default_config() + "fault enp3s0f0 write-delay-ms=800\n", state.path());
        EXPECT_TRUE(killed.out == "ended 137\n" || (point == std::string("read-back") && killed.out == "ended 0\n"))
            << point << killed.out;
        if (!fs::exists(backup)) {
            EXPECT_FALSE(must_be_taken) << point << ": no backup";
            EXPECT_EQ(byte_diff(flash_in(state.path(), CARD4), original), "") << point << ": written without a backup";
        } else {
            // The same burn again keeps the backup it took; the backup is whole and brings the card back.
            const write_watch watch(state.path());
            EXPECT_EQ(zelvoctl(state.path(), burn(backup)), 2) << point;
            EXPECT_FALSE(watch.wrote()) << point;
            EXPECT_EQ(zelvoctl(state.path(), {"restore", "enp3s0f0", "--from", backup}), 0) << point;
            EXPECT_EQ(byte_diff(flash_in(state.path(), CARD4), original), "") << point << ": the restore";
        }
        EXPECT_EQ(zelvoctl(state.path(), burn(state / "b2")), 0) << point;
        EXPECT_EQ(byte_diff(flash_in(state.path(), CARD4), burnt), "") << point << ": the burn after the kill";
    }
}

}  // namespace
}  // namespace e2e
