// The example playbook ansible/burn.yml run by ansible-playbook in the
// simulator: a first run burns every card, each keeping its record; a second
// changes nothing; a check run with another image reports a change, writes nothing.
#include <gtest/gtest.h>

#include <regex>

#include "e2e_support.h"

namespace e2e {
namespace {

// The "changed=N" of the play recap's localhost line; -1 when the run failed
// or printed no recap.
int changed_in_recap(const sim_run& r) {
    std::smatch m;
    static const std::regex recap(R"(localhost\s+: ok=\d+\s+changed=(\d+)\s+unreachable=0\s+failed=0)");
    return std::regex_search(r.out, m, recap) ? std::stoi(m[1]) : -1;
}

TEST(AnsiblePlaybook, BurnsEveryCardOnceAndCheckModeWritesNothing) {
    const test_support::process_result which = test_support::run_process({"/bin/sh", "-c", "command -v ansible-playbook"}, 30);
    ASSERT_EQ(which.status, 0) << "ansible-playbook is not on PATH: scripts/setup installs ansible-core";
    const preset_cards cards;
    const temp_dir files;
    const std::string state = cards.state.path();
    const std::string fw = make_fw(files / "fw.bin", "0", "0x1E800"), other = make_fw(files / "other.bin", "0", "0x1E900");
    auto playbook = [&](const std::string& image, bool check) {
        std::vector<std::string> cmd = {which.out.substr(0, which.out.find('\n')), "-i", "localhost,", "-c", "local",
                                        std::string(KV7_ANSIBLE_DIR) + "/burn.yml", "-e", "fw_image=" + image, "-e",
                                        std::string("zelvoctl_bin=") + zelvoctl_path(), "-e", "backup_dir=" + files / "backups",
                                        "-e", "history_file=" + history_in(files.path())};
        if (check)
            cmd.push_back("--check");
        return run_in_sim(cmd, "", state, 300);
    };
    const sim_run first = playbook(fw, false);
    EXPECT_EQ(changed_in_recap(first), 1) << first.out << first.err;
    const std::vector<u8> image = read_file_bytes(fw);
    for (const card* c : {&CARD4, &CARD2, &CARD1}) {
        const std::vector<u8> flash = flash_in(state, *c);
        EXPECT_EQ(byte_diff(slice(flash, c->record_at, USER_RECORD_SZ), sample_user_record(c->sn)), "") << c->addr;
        EXPECT_EQ(byte_diff(slice(flash, 512, 0x1E000 - 512), slice(image, 512, 0x1E000 - 512)), "") << c->addr;
    }
    const write_watch watch(state);
    const sim_run second = playbook(fw, false);
    EXPECT_EQ(changed_in_recap(second), 0) << second.out << second.err;
    const sim_run check = playbook(other, true);
    EXPECT_EQ(changed_in_recap(check), 1) << check.out << check.err;
    EXPECT_FALSE(watch.wrote()) << "a run that changed nothing, or a check run, wrote";
}

}  // namespace
}  // namespace e2e
