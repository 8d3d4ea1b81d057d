// zelvoctl cannot lose a card: a writer holds the card for its whole
// operation, backups never change once taken, restore knows its card, every
// area is compared, and refusals come before the first write.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "e2e_support.h"

namespace e2e {
namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

sim_run zelvoctl(std::vector<std::string> args, const std::string& state, const std::string& config = "") {
    args.insert(args.begin(), zelvoctl_path());
    return run_in_sim(args, config, state);
}

std::string flash_of(const std::string& state, const card& c) { return state + "/" + c.addr + ".flash"; }

std::string text_at(const std::vector<u8>& flash, std::size_t at) {
    return std::string(reinterpret_cast<const char*>(flash.data() + at));
}

// Makes a firmware image with the simulator; `size` as make-fw takes it.
std::string make_fw(const std::string& state, const std::string& dir, const std::string& name,
                    const char* chip_group, const char* size) {
    const std::string path = dir + "/" + name;
    const sim_run r = run_in_sim({sim_path(), "make-fw", "--crc", "--chip-group", chip_group, "--size", size, path},
                                 "", state);
    EXPECT_EQ(r.status, 0) << r.err;
    return path;
}

// A writer started while a burn is under way (its flash writes slowed down)
// on another interface of the same card waits for the burn to end; its
// change lands on what the burn wrote, and the burn's read-back sees only
// its own bytes.
TEST(ZelvoctlSafety, AChangeMadeDuringABurnSurvivesIt) {
    static const char script[] = R"sh(
zelvoctl=$1 tool=$2 fw=$3 dir=$4
"$zelvoctl" burn enp3s0f0 --fw "$fw" --no-backup >"$dir/burn.out" 2>"$dir/burn.err" &
burn=$!
sleep 0.6
case $5 in
tool) "$tool" -q -d enp3s0f1 -sn CHANGED-SN >"$dir/set.out" 2>&1 ;;
zelvoctl) "$zelvoctl" set enp3s0f2 sn=CHANGED-SN >"$dir/set.out" 2>&1 ;;
esac
echo "set=$?"
wait $burn
echo "burn=$?"
cat "$dir/burn.err"
)sh";
    for (const char* writer : {"tool", "zelvoctl"}) {
        const temp_dir state, files;
        const std::string fw = make_fw(state.path(), files.path(), "full.fw", "0x88488308", "0xCA000");
        zelvoctl({"list"}, state.path());
        const std::string config = sim_default_config() + "fault enp3s0f0 write-delay-ms=1500\n";
        const sim_run r = run_in_sim({"/bin/bash", "-c", script, "during-burn", zelvoctl_path(), tool_path(), fw,
                                      files.path(), writer},
                                     config, state.path());
        EXPECT_EQ(r.out.substr(0, r.out.find('\n', r.out.find("burn=")) + 1), "set=0\nburn=0\n") << writer << r.out;
        const std::vector<u8> flash = read_file_bytes(flash_of(state.path(), CARD4));
        EXPECT_EQ(text_at(flash, CARD4.record_at + 64), "CHANGED-SN") << writer << ": the change was lost";
    }
}

}  // namespace
}  // namespace e2e
