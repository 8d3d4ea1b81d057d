// zelvoctl cannot lose a card: a writer holds the card for its whole
// operation, backups never change once taken, restore knows its card, every
// area is compared, and refusals come before the first write.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "e2e_support.h"

namespace e2e {
namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

sim_run zelvoctl(std::vector<std::string> args, const std::string& state, const std::string& config = "") {
    const std::vector<std::string> command = zelvoctl_command(state);
    args.insert(args.begin(), command.begin(), command.end());
    return run_in_sim(args, config, state);
}

std::string flash_of(const std::string& state, const card& c) { return state + "/" + c.addr + ".flash"; }

std::string text_at(const std::vector<u8>& flash, std::size_t at) {
    return std::string(reinterpret_cast<const char*>(flash.data() + at));
}

// Makes a firmware image with the simulator; `size` as make-fw takes it.
std::string make_fw(const std::string& state, const std::string& dir, const std::string& name,
                    const char* chip_group, const char* size, bool crc = true) {
    const std::string path = dir + "/" + name;
    std::vector<std::string> args = {sim_path(), "make-fw", "--chip-group", chip_group, "--size", size, path};
    if (crc)
        args.insert(args.begin() + 2, "--crc");
    const sim_run r = run_in_sim(args, "", state);
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
"$zelvoctl" --history "$dir/history" burn enp3s0f0 --fw "$fw" --no-backup >"$dir/burn.out" 2>"$dir/burn.err" &
burn=$!
sleep 0.6
case $5 in
tool) "$tool" -q -d enp3s0f1 -sn CHANGED-SN >"$dir/set.out" 2>&1 ;;
zelvoctl) "$zelvoctl" --history "$dir/history" set enp3s0f2 sn=CHANGED-SN >"$dir/set.out" 2>&1 ;;
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

// Every file of a folder with its bytes, names relative to it.
std::map<std::string, std::vector<u8>> folder_bytes(const std::string& dir) {
    std::map<std::string, std::vector<u8>> files;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(dir, ec))
        if (e.is_regular_file())
            files[fs::relative(e.path(), dir).string()] = read_file_bytes(e.path().string());
    return files;
}

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ZelvoctlSafety, ABackupIsNeverOverwrittenAndIsWholeOrAbsent) {
    const temp_dir state, files;
    const std::string fw = make_fw(state.path(), files.path(), "kv9.fw", "0x88488308", "0x41000");
    const std::string taken = files / "taken";
    ASSERT_EQ(zelvoctl({"backup", "enp3s0f0", "--to", taken}, state.path()).status, 0);
    const auto backup_before = folder_bytes(taken);
    const struct {
        std::vector<std::string> args;
        std::string fault;  // of enp3s0f0
        int status;
        std::string err;    // what standard error starts with
    } cases[] = {
        {{"backup", "enp3s0f0", "--to", taken}, "", 2, "zelvoctl: backup folder " + taken + " exists"},
        {{"backup", "enp3s0f1", "--to", taken}, "", 2, "zelvoctl: backup folder " + taken + " exists"},
        {{"burn", "enp3s0f0", "--fw", fw, "--backup-dir", taken}, "", 2, "zelvoctl: backup folder " + taken + " exists"},
        {{"backup", "enp3s0f0", "--to", files / "failed"}, "fail-reads-after=3", 5, "zelvoctl: reading partition"},
    };
    for (const auto& c : cases) {
        const std::size_t logged = read_request_log(state.path()).size();
        const sim_run r = zelvoctl(c.args, state.path(),
                                   c.fault.empty() ? "" : sim_default_config() + "fault enp3s0f0 " + c.fault + "\n");
        EXPECT_EQ(r.status, c.status) << c.args[0] << r.err;
        EXPECT_TRUE(r.err.starts_with(c.err)) << r.err;
        const auto log = read_request_log(state.path());
        EXPECT_EQ(log_summary({log.begin() + static_cast<long>(logged), log.end()}).find('w'), std::string::npos)
            << c.args[0] << " wrote";
        EXPECT_TRUE(folder_bytes(taken) == backup_before) << c.args[0] << ": the backup changed";
        EXPECT_EQ(names_in(files.path()), (std::vector<std::string>{"kv9.fw", "taken"})) << "a partial folder is left";
    }

    // Two backups racing for one folder: one takes it whole, the other is refused.
    const std::string raced = files / "raced";
    const std::string both = "\"$0\" backup enp3s0f0 --to $1 >/dev/null 2>&1 & \"$0\" backup enp4s0f0 --to $1 "
                             ">/dev/null 2>&1; a=$?; wait $!; echo $a $?";  // enp4s0f0's status first
    const sim_run race = run_in_sim({"/bin/bash", "-c", both, zelvoctl_path(), raced}, "", state.path());
    EXPECT_TRUE(race.out == "0 2\n" || race.out == "2 0\n") << race.out << race.err;
    const std::string which = race.out == "0 2\n" ? "0000:04:00.0" : "0000:03:00.0";
    const json manifest = json::parse(read_file_bytes(raced + "/manifest.json"));
    EXPECT_EQ(manifest["card"]["pci_address"], which);
    EXPECT_EQ(zelvoctl({"restore", manifest["interface"], "--from", raced}, state.path()).status, 0);

    // Per-card folders of --all carry no ':' in their names.
    ASSERT_EQ(zelvoctl({"backup", "--all", "--to", files / "all"}, state.path()).status, 0);
    EXPECT_EQ(names_in(files / "all"), (std::vector<std::string>{"0000-03-00.0", "0000-04-00.0", "0000-05-00.0"}));
}

// The built-in controllers with another card of the same model in slot 03:00.0.
std::string replaced_card_config() {
    std::string config = sim_default_config();
    const std::string old_card = "mac=02:5a:e1:03:00:00 fw=1.6.3.0 pxe=2.1.4 version=ok sn=ZS4P0300A17";
    config.replace(config.find(old_card), old_card.size(), "mac=02:5a:e1:33:00:00 fw=1.6.3.0 pxe=2.1.4 version=ok sn=ZS4P0300NEW");
    return config;
}

TEST(ZelvoctlSafety, RestoreRefusesAnotherCardUnlessToldAndBacksThatCardUpFirst) {
    const temp_dir old_host, new_host, files;
    const std::string backup = files / "old";
    ASSERT_EQ(zelvoctl({"backup", "enp3s0f0", "--to", backup}, old_host.path()).status, 0);
    const std::string config = replaced_card_config();
    zelvoctl({"list"}, new_host.path(), config);
    const std::vector<u8> replacement = read_file_bytes(flash_of(new_host.path(), CARD4));
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
    } refused[] = {
        {{"restore", "enp3s0f0", "--from", backup}, 2,
         "zelvoctl: the backup is of card 0000:03:00.0 with serial 'ZS4P0300A17', this card 0000:03:00.0 has serial "
         "'ZS4P0300NEW' (--other-card writes it anyway, after backing this card up)\n"},
        {{"restore", "enp4s0f0", "--from", backup, "--other-card"}, 2,
         "zelvoctl: the backup is of a card with device id 0x8308, this card is 0x8318\n"},
    };
    for (const auto& c : refused) {
        const sim_run r = zelvoctl(c.args, new_host.path(), config);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(byte_diff(read_file_bytes(flash_of(new_host.path(), CARD4)), replacement), "");
    }
    const std::string own = files / "replacement";
    const sim_run r = zelvoctl({"--json", "restore", "enp3s0f0", "--from", backup, "--other-card", "--backup-dir", own},
                               new_host.path(), config);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(json::parse(r.out)["backup"], own);
    EXPECT_EQ(json::parse(read_file_bytes(own + "/manifest.json"))["card"]["serial"], "ZS4P0300NEW");
    EXPECT_EQ(byte_diff(read_file_bytes(flash_of(new_host.path(), CARD4)), read_file_bytes(flash_of(old_host.path(), CARD4))),
              "");
}

// After a full-image burn, bytes flipped in each area the image covers: verify
// finds every one a read reaches, a burn again rewrites it, and the bytes no
// read reaches are reported as such rather than as equal.
TEST(ZelvoctlSafety, EveryAreaAReadReachesIsCompared) {
    const struct {
        std::size_t at, count;
        int status;            // of verify
        std::string area;      // where the flip lies
        std::size_t differing; // bytes verify finds
    } cases[] = {
        {0x42000, 4096, 1, "pcsphy", 4096},
        {0x40010, 16, 1, "factory", 16},
        {0x43000, 64, 0, "pcsphy", 0},  // past the PCS/PHY reply: no read reaches it
    };
    for (const auto& c : cases) {
        const temp_dir state, files;
        const std::string fw = make_fw(state.path(), files.path(), "full.fw", "0x88488308", "0xCA000");
        ASSERT_EQ(zelvoctl({"burn", "enp3s0f0", "--fw", fw, "--no-backup"}, state.path()).status, 0);
        std::vector<u8> flash = read_file_bytes(flash_of(state.path(), CARD4));
        for (std::size_t i = 0; i < c.count; ++i)
            flash[c.at + i] ^= 0xff;
        write_file_bytes(flash_of(state.path(), CARD4), flash);
        const sim_run verify = zelvoctl({"--json", "verify", "enp3s0f0", "--fw", fw}, state.path());
        EXPECT_EQ(verify.status, c.status) << c.at << verify.out;
        const json areas = json::parse(verify.out)["partitions"][0]["areas"];
        json flipped;
        for (const json& a : areas)
            if (a["area"] == c.area)
                flipped = a;
        EXPECT_EQ(flipped.value("bytes_differing", -1), static_cast<int>(c.differing)) << areas;
        if (c.area == "pcsphy") {
            EXPECT_EQ(flipped.value("bytes_unreadable", -1), 0x7000) << areas;
        }
        const std::size_t logged = read_request_log(state.path()).size();
        EXPECT_EQ(zelvoctl({"burn", "enp3s0f0", "--fw", fw, "--no-backup"}, state.path()).status, 0);
        const auto log = read_request_log(state.path());
        EXPECT_EQ(log_summary({log.begin() + static_cast<long>(logged), log.end()}).find("w1") != std::string::npos,
                  c.differing > 0) << c.at;
    }
}

// A burn that fills a one-port card's user area, then a restore from the
// burn's own backup: the bytes behind the record cannot come back, and the
// restore says so instead of calling the card verified.
TEST(ZelvoctlSafety, RestoreNamesTheBytesABackupCannotHold) {
    const temp_dir state, files;
    const std::string fw = make_fw(state.path(), files.path(), "kv3.fw", "0x88488208", "0x1F000");
    const std::string backup = files / "before";
    ASSERT_EQ(zelvoctl({"burn", "enp5s0", "--fw", fw, "--backup-dir", backup}, state.path()).status, 0);
    const sim_run r = zelvoctl({"--json", "restore", "enp5s0", "--from", backup}, state.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(json::parse(r.out)["not_restored"], json::parse(R"([{"area":"user","offset":"0x1e1e0","bytes":3616}])"));
    const sim_run human = zelvoctl({"restore", "enp5s0", "--from", backup}, state.path());
    EXPECT_EQ(human.out.substr(human.out.find("restored ")),
              "restored 0000:05:00.0 from " + backup + "; every byte a read reaches verified\n"
              "not restored: user area from 0x1e1e0, 3616 bytes no read reaches (a backup cannot hold them)\n");
}

TEST(ZelvoctlSafety, ContradictionsAreRefusedBeforeTheFirstWrite) {
    const temp_dir state, files;
    const std::string full = make_fw(state.path(), files.path(), "full.fw", "0x88488308", "0xCA000");
    const std::string chip0 = make_fw(state.path(), files.path(), "chip0.fw", "0", "0x41000");
    write_file_bytes(files / "pxe.bin", std::vector<u8>(0x1000, 0x3c));
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"burn", "enp3s0f0", "--fw", full, "--pxe", files / "pxe.bin"},
         "zelvoctl: firmware image " + full + " runs over the PXE area (from 0x4a000): give the PXE image inside it or "
         "leave --pxe out\n"},
        {{"burn", "enp5s0", "--fw", chip0},
         "zelvoctl: firmware image " + chip0 + " holds 266240 bytes and would run over the card's trim area (from "
         "0x1f000)\n"},
    };
    for (const auto& c : cases) {
        const std::size_t logged = read_request_log(state.path()).size();
        const sim_run r = zelvoctl(c.args, state.path());
        EXPECT_EQ(r.status, 4) << r.err;
        EXPECT_EQ(r.err, c.err);
        const auto log = read_request_log(state.path());
        EXPECT_EQ(log_summary({log.begin() + static_cast<long>(logged), log.end()}).find('w'), std::string::npos);
    }
}

// Every writer is refused, before writing, what would leave another card's
// MAC or serial on this card, or one MAC on two ports of it.
TEST(ZelvoctlSafety, EveryWriterIsGuardedAgainstDuplicateIdentities) {
    const temp_dir old_host, host, files;
    const std::string backup = files / "old";
    ASSERT_EQ(zelvoctl({"backup", "enp3s0f0", "--to", backup}, old_host.path()).status, 0);
    // The replaced card moved to slot 06:00.0: a restore of its backup into slot 03:00.0 would clone it.
    const std::string config = replaced_card_config() +
                               "card 0000:06:00.0 device=0x8308 mac=02:5a:e1:03:00:00 sn=ZS4P0300A17\niface enp6s0\n";
    zelvoctl({"list"}, host.path(), config);
    // A full image carrying the 4-port card's record, burnt with --overwrite-identity onto the 2-port card.
    const std::string image = make_fw(host.path(), files.path(), "clone.fw", "0x88488308", "0xCA000", false);
    std::vector<u8> clone = read_file_bytes(image);
    const std::vector<u8> card4 = read_file_bytes(flash_of(host.path(), CARD4));
    std::copy_n(card4.begin() + 0x41000, 480, clone.begin() + 0x41000);
    write_file_bytes(image, clone);
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"set", "enp4s0f1", "mac.1=02:5a:e1:04:00:00"},
         "zelvoctl: mac.1=02:5a:e1:04:00:00 is also port 0's address on this card (--force writes it anyway)\n"},
        {{"burn", "enp4s0f0", "--fw", image, "--overwrite-identity", "--no-backup"},
         "zelvoctl: mac.0=02:5a:e1:33:00:00 is already carried by card 0000:03:00.0 (--force writes it anyway)\n"},
        {{"restore", "enp3s0f0", "--from", backup, "--other-card", "--backup-dir", files / "own"},
         "zelvoctl: mac.0=02:5a:e1:03:00:00 is already carried by card 0000:06:00.0 (--force writes it anyway)\n"},
    };
    for (const auto& c : cases) {
        const std::size_t logged = read_request_log(host.path()).size();
        const sim_run r = zelvoctl(c.args, host.path(), config);
        EXPECT_EQ(r.status, 2) << c.args[0] << r.err;
        EXPECT_EQ(r.err, c.err);
        const auto log = read_request_log(host.path());
        EXPECT_EQ(log_summary({log.begin() + static_cast<long>(logged), log.end()}).find('w'), std::string::npos)
            << c.args[0] << " wrote";
    }
}

// With one card's maintain file held by another program, list and check go on
// with the other cards, name the locked one, and end with the lock status.
TEST(ZelvoctlSafety, ReadingCommandsReportALockedCardAndGoOn) {
    static const char script[] = R"sh(
sim=$1 zelvoctl=$2 dir=$3
shift 3
mkfifo "$dir/ready"
"$sim" hold-lock /sys/class/net/enp4s0f0/maintain 20 >"$dir/ready" &
holder=$!
read -r ready <"$dir/ready"
"$zelvoctl" --json --lock-wait 1 "$@"
echo "status=$?"
kill $holder
)sh";
    const struct {
        std::string command;
        std::string locked;  // what the document says of the locked card
        std::size_t read;    // entries about the other cards: listed whole, or problems found (none)
    } cases[] = {{"list", "lock_timeout", 2}, {"check", "lock_timeout", 0}};
    for (const auto& c : cases) {
        const temp_dir dir;
        const sim_run r = run_in_sim({"/bin/bash", "-c", script, "locked", sim_path(), zelvoctl_path(), dir.path(), c.command});
        const std::size_t cut = r.out.rfind("status=");
        ASSERT_NE(cut, std::string::npos) << r.out << r.err;
        EXPECT_EQ(r.out.substr(cut), "status=6\n") << c.command << r.err;
        const json doc = json::parse(r.out.substr(0, cut));
        std::size_t read = 0;
        std::string locked;
        for (const json& card : doc.contains("cards") ? doc["cards"] : json::array()) {
            read += card.contains("error") ? 0 : 1;
            if (card["pci_address"] == "0000:04:00.0")
                locked = card.value("error_code", "");
        }
        for (const json& p : doc.contains("problems") ? doc["problems"] : json::array()) {
            if (p["cards"] == json::array({"0000:04:00.0"}))
                locked = p.value("code", "");
            else
                ++read;
        }
        EXPECT_EQ(locked, c.locked) << r.out;
        EXPECT_EQ(read, c.read) << r.out;
    }
    const sim_run version = zelvoctl({"--version"}, "");
    EXPECT_EQ(version.out, "zelvoctl 1.0.0\n");
    const sim_run dry = zelvoctl({"set", "enp3s0f0", "sn=X", "--dry-run"}, "");
    EXPECT_TRUE(dry.out.ends_with("dry run: nothing written\n")) << dry.out;
}


// A card whose first interface's maintain file does not open is reached
// through another; a failure after the writes says the card was written and
// which backup restores it, in the message and in the JSON error; a human
// burn prints its plan before it writes.
TEST(ZelvoctlSafety, FailuresSayWhatWasWrittenAndACardIsReachedThroughAnyInterface) {
    const temp_dir files;
    const std::string fw = files / "kv9.fw";
    ASSERT_EQ(run_in_sim({sim_path(), "make-fw", "--crc", "--chip-group", "0x88488308", fw}, "", files.path()).status, 0);
    const std::string b = files / "b";
    const struct {
        std::string fault;  // of enp3s0f0
        std::vector<std::string> args;
        int status;
        std::vector<std::string> out;  // each in standard output, in this order
    } cases[] = {
        {"no-open", {"--json", "list"}, 0, {"\"pci_address\": \"0000:03:00.0\"", "\"serial\": \"ZS4P0300A17\""}},
        {"no-open", {"check"}, 0, {"3 cards checked, 0 problems"}},
        {"no-open", {"backup", "03:00.0", "--to", b}, 0, {"0000:03:00.0 backed up to " + b}},
        {"no-open", {"burn", "03:00.0", "--fw", fw, "--backup-dir", b}, 0, {"backed up to " + b, "written and read back"}},
        // Six reads plan and back up; the read-back then finds no answer.
        {"fail-reads-after=6", {"--json", "burn", "enp3s0f0", "--fw", fw, "--backup-dir", b}, 5,
         {"\"code\": \"io_failure\"",
          "failed (-5): invalid reply: header 0 bytes; the card was written; restore with: zelvoctl restore enp3s0f0 "
          "--from " + b + "\"",
          "\"card_written\": true", "\"backup\": \"" + b + "\""}},
        {"write-eio", {"burn", "enp3s0f0", "--fw", fw, "--backup-dir", b}, 5,
         {"firmware 266240 bytes: write\n", "backed up to " + b + "\n"}},
        // Cards worked on at once: each reached as a single card is, its
        // plan and backup in its block once it is done.
        {"no-open", {"burn", "03:00.0", "04:00.0", "--fw", fw, "--backup-dir", b}, 0,
         {"== 0000:03:00.0 enp3s0f0\nfirmware 266240 bytes: write\n", "backed up to " + b + "/",
          "written and read back\n== 0000:04:00.0", "2 cards: 2 written"}},
        {"write-eio", {"burn", "03:00.0", "04:00.0", "--fw", fw, "--backup-dir", b}, 5,
         {"== 0000:03:00.0 enp3s0f0\nfirmware 266240 bytes: write\n", "backed up to " + b + "/",
          "failed (io_failure): ", "== 0000:04:00.0", "written and read back\n", "1 failed"}},
    };
    for (const auto& c : cases) {
        const temp_dir state;
        std::filesystem::remove_all(b);
        const sim_run r = zelvoctl(c.args, state.path(), sim_default_config() + "fault enp3s0f0 " + c.fault + "\n");
        const std::string row = c.fault + " " + c.args[c.args.size() > 1 ? 1 : 0];
        EXPECT_EQ(r.status, c.status) << row << r.err;
        std::size_t at = 0;
        for (const std::string& want : c.out) {
            at = r.out.find(want, at);
            EXPECT_NE(at, std::string::npos) << row << ": no " << want << " in\n" << r.out;
        }
    }
}

}  // namespace
}  // namespace e2e
