// The example playbook ansible/burn.yml with its module, run by
// ansible-playbook inside the simulator as an operator runs it on a host:
// a first run burns every card, each keeping its record; a second changes
// nothing; a check run with another image reports a change and writes
// nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include "e2e_support.h"

namespace e2e {
namespace {

// ansible-playbook on PATH; "" when it is not installed.
std::string find_ansible_playbook() {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::filesystem::path p = std::filesystem::path(dir) / "ansible-playbook";
        if (!dir.empty() && ::access(p.c_str(), X_OK) == 0)
            return p;
    }
    return "";
}

// The "changed=N" of the play recap's localhost line; -1 when the run failed
// or printed no recap.
int changed_in_recap(const sim_run& r) {
    std::smatch m;
    static const std::regex recap(R"(localhost\s+: ok=\d+\s+changed=(\d+)\s+unreachable=0\s+failed=0)");
    return std::regex_search(r.out, m, recap) ? std::stoi(m[1]) : -1;
}

TEST(AnsiblePlaybook, BurnsEveryCardOnceAndCheckModeWritesNothing) {
    const std::string playbook_bin = find_ansible_playbook();
    ASSERT_NE(playbook_bin, "") << "ansible-playbook is not on PATH: scripts/setup installs ansible-core";
    const preset_cards cards;
    const temp_dir files;
    const std::string state = cards.state.path(), backups = files / "backups";
    const std::string fw = files / "fw.bin", other = files / "other.bin";
    ASSERT_EQ(run_in_sim({sim_path(), "make-fw", "--crc", "--size", "0x1E800", fw}, "", state).status, 0);
    ASSERT_EQ(run_in_sim({sim_path(), "make-fw", "--crc", "--size", "0x1E900", other}, "", state).status, 0);
    auto playbook = [&](const std::string& image, bool check) {
        std::vector<std::string> cmd = {playbook_bin, "-i", "localhost,", "-c", "local",
                                        std::string(KV7_ANSIBLE_DIR) + "/burn.yml", "-e", "fw_image=" + image,
                                        "-e", std::string("zelvoctl_bin=") + zelvoctl_path(), "-e",
                                        "backup_dir=" + backups, "-e", "history_file=" + history_in(files.path())};
        if (check)
            cmd.push_back("--check");
        return run_in_sim(cmd, "", state, 300);
    };
    auto flashes = [&] {
        std::vector<std::vector<u8>> all;
        for (const card* c : {&CARD4, &CARD2, &CARD1})
            all.push_back(read_file_bytes(state + "/" + c->addr + ".flash"));
        return all;
    };

    const sim_run first = playbook(fw, false);
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_EQ(changed_in_recap(first), 1) << first.out;
    const std::vector<u8> image = read_file_bytes(fw);
    const auto burnt = flashes();
    std::size_t i = 0;
    for (const card* c : {&CARD4, &CARD2, &CARD1}) {
        const std::vector<u8>& flash = burnt[i++];
        EXPECT_EQ(byte_diff(slice(flash, c->record_at, USER_RECORD_SZ), sample_user_record(c->sn)), "") << c->addr;
        const std::size_t n = std::min(image.size(), c->record_at);
        EXPECT_EQ(byte_diff(slice(flash, 512, n - 512), slice(image, 512, n - 512)), "") << c->addr;
    }

    const std::size_t logged = read_request_log(state).size();
    const sim_run second = playbook(fw, false);
    ASSERT_EQ(second.status, 0) << second.out << second.err;
    EXPECT_EQ(changed_in_recap(second), 0) << second.out;

    const sim_run check = playbook(other, true);
    ASSERT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(changed_in_recap(check), 1) << check.out;
    const std::vector<logged_request> log = read_request_log(state);
    for (std::size_t k = logged; k < log.size(); ++k)
        EXPECT_NE(log[k].cmd, 1) << "a run that changed nothing, or a check run, wrote";
    EXPECT_TRUE(flashes() == burnt);
}

}  // namespace
}  // namespace e2e
