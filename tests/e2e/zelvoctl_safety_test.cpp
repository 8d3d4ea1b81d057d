// zelvoctl cannot lose a card: a writer holds the card for its whole
// operation, backups never change once taken, restore knows its card, every
// area is compared, and refusals come before the first write.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <tuple>

#include "e2e_support.h"
#include "flash_store.h"

namespace e2e {
namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;
const auto zelvoctl = zelvoctl_in_sim;

// The tool's set on another interface of the card, started while a burn
// (its writes slowed down) is under way, waits for it and lands on its bytes.
TEST(ZelvoctlSafety, AChangeMadeDuringABurnSurvivesIt) {
    static const char script[] = R"sh(
"$0" --history "$3/history" burn enp3s0f0 --fw "$2" --no-backup >/dev/null 2>&1 &
sleep 0.6
"$1" -q -d enp3s0f1 -sn CHANGED-SN >/dev/null 2>&1
echo "set=$?"
wait $!
echo "burn=$?"
)sh";
    const temp_dir state, files;
    const std::string fw = make_fw(files / "full.fw", "0x88488308", "0xCA000");
    const sim_run r = run_in_sim({"/bin/bash", "-c", script, zelvoctl_path(), tool_path(), fw, files.path()},
                                 sim_default_config() + "fault enp3s0f0 write-delay-ms=1500\n", state.path());
    EXPECT_EQ(r.out, "set=0\nburn=0\n") << r.err;
    const std::vector<u8> flash = flash_in(state.path(), CARD4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&flash[CARD4.record_at + ucfg_at::sn])), "CHANGED-SN");
}

std::map<std::string, std::vector<u8>> folder_bytes(const std::string& dir) {
    std::map<std::string, std::vector<u8>> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        files[fs::relative(e.path(), dir).string()] = e.is_regular_file() ? read_file_bytes(e.path()) : std::vector<u8>{};
    return files;
}

TEST(ZelvoctlSafety, ABackupIsNeverOverwrittenAndIsWholeOrAbsent) {
    const temp_dir state, files;
    const std::string taken = files / "taken";
    ASSERT_EQ(zelvoctl({"backup", "enp3s0f0", "--to", taken}, state.path(), "").status, 0);
    const auto before = folder_bytes(files.path());
    const std::string cut_reads = sim_default_config() + "fault enp3s0f0 fail-reads-after=3\n";
    for (const auto& [args, config, status] : {std::tuple{std::vector<std::string>{"backup", "enp3s0f1", "--to", taken}, std::string(), 2},
                                               {{"backup", "enp3s0f0", "--to", files / "failed"}, cut_reads, 5}}) {
        EXPECT_EQ(zelvoctl(args, state.path(), config).status, status) << args[3];
        EXPECT_TRUE(folder_bytes(files.path()) == before) << args[3] << ": a backup changed or a partial one is left";
    }

    // Two backups racing for one folder: one takes it whole, the other is refused.
    const std::string raced = files / "raced";
    const std::string both = "\"$0\" backup enp3s0f0 --to $1 >/dev/null 2>&1 & \"$0\" backup enp4s0f0 --to $1 "
                             ">/dev/null 2>&1; a=$?; wait $!; echo $a $?";
    const sim_run race = run_in_sim({"/bin/bash", "-c", both, zelvoctl_path(), raced}, "", state.path());
    EXPECT_TRUE(race.out == "0 2\n" || race.out == "2 0\n") << race.out << race.err;
    const json manifest = json::parse(read_file_bytes(raced + "/manifest.json"));
    EXPECT_EQ(manifest["card"]["pci_address"], race.out == "0 2\n" ? "0000:04:00.0" : "0000:03:00.0");
    EXPECT_EQ(zelvoctl({"restore", manifest["interface"], "--from", raced}, state.path(), "").status, 0);
}

// The built-in controllers with another card of the same model in slot 03:00.0.
std::string replaced_card_config() {
    std::string config = sim_default_config();
    const std::string old_card = "mac=02:5a:e1:03:00:00 fw=1.6.3.0 pxe=2.1.4 version=ok sn=ZS4P0300A17";
    config.replace(config.find(old_card), old_card.size(), "mac=02:5a:e1:33:00:00 fw=1.6.3.0 pxe=2.1.4 version=ok sn=ZS4P0300NEW");
    return config;
}

// Bytes flipped after a full-image burn in an area a read reaches: verify
// finds each, and a burn again rewrites it.
TEST(ZelvoctlSafety, EveryAreaAReadReachesIsCompared) {
    for (const auto& [at, count, area] : {std::tuple{0x42000, 4096, "pcsphy"}, {0x40010, 16, "factory"}}) {
        const temp_dir state, files;
        const std::string fw = make_fw(files / "full.fw", "0x88488308", "0xCA000");
        ASSERT_EQ(zelvoctl({"burn", "enp3s0f0", "--fw", fw, "--no-backup"}, state.path(), "").status, 0);
        std::vector<u8> flash = flash_in(state.path(), CARD4);
        std::for_each(flash.begin() + at, flash.begin() + at + count, [](u8& b) { b ^= 0xff; });
        write_file_bytes(zsim::flash_file_path(state.path(), CARD4.addr), flash);
        const sim_run verify = zelvoctl({"--json", "verify", "enp3s0f0", "--fw", fw}, state.path(), "");
        EXPECT_EQ(verify.status, 1) << area << verify.out;
        const json areas = json::parse(verify.out)["partitions"][0]["areas"];
        const auto flipped = std::find_if(areas.begin(), areas.end(), [&](const json& a) { return a["area"] == area; });
        EXPECT_TRUE(flipped != areas.end() && (*flipped)["bytes_differing"] == count) << areas;
        const write_watch watch(state.path());
        EXPECT_EQ(zelvoctl({"burn", "enp3s0f0", "--fw", fw, "--no-backup"}, state.path(), "").status, 0);
        EXPECT_TRUE(watch.wrote()) << area << ": the burn found nothing to write";
    }
}

// A burn over a one-port card's user area, then a restore from its backup:
// the bytes behind the record no read reaches are named, not called verified.
TEST(ZelvoctlSafety, RestoreNamesTheBytesABackupCannotHold) {
    const temp_dir state, files;
    const std::string fw = make_fw(files / "kv3.fw", "0x88488208", "0x1F000"), backup = files / "before";
    ASSERT_EQ(zelvoctl({"burn", "enp5s0", "--fw", fw, "--backup-dir", backup}, state.path(), "").status, 0);
    const sim_run r = zelvoctl({"--json", "restore", "enp5s0", "--from", backup}, state.path(), "");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(json::parse(r.out)["not_restored"], json::parse(R"([{"area":"user","offset":"0x1e1e0","bytes":3616}])"));
}

// Contradicting options, a restore onto another card, and writes that would
// leave another card's MAC or serial on this card, or one MAC on two of its
// ports, are refused before the first write; a restore told --other-card
// backs that card up first.
TEST(ZelvoctlSafety, ContradictionsAnotherCardAndDuplicateIdentitiesAreRefusedBeforeTheFirstWrite) {
    const temp_dir old_host, host, files;
    const std::string backup = files / "old";
    ASSERT_EQ(zelvoctl({"backup", "enp3s0f0", "--to", backup}, old_host.path(), "").status, 0);
    // The replaced card moved to slot 06:00.0: a restore of its backup into slot 03:00.0 would clone it.
    const std::string config = replaced_card_config() +
                               "card 0000:06:00.0 device=0x8308 mac=02:5a:e1:03:00:00 sn=ZS4P0300A17\niface enp6s0\n";
    zelvoctl({"list"}, host.path(), config);
    const std::string full = make_fw(files / "full.fw", "0x88488308", "0xCA000");
    const std::string chip0 = make_fw(files / "chip0.fw", "0", "0x41000");
    write_file_bytes(files / "pxe.bin", std::vector<u8>(0x1000, 0x3c));
    // A full image carrying the 4-port card's record, burnt with --overwrite-identity onto the 2-port card.
    const std::string image = make_fw(files / "clone.fw", "0x88488308", "0xCA000", false);
    std::vector<u8> clone = read_file_bytes(image);
    const std::vector<u8> card4 = flash_in(host.path(), CARD4);
    std::copy_n(card4.begin() + 0x41000, USER_RECORD_SZ, clone.begin() + 0x41000);
    write_file_bytes(image, clone);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{"burn", "enp3s0f0", "--fw", full, "--pxe", files / "pxe.bin"}, 4,
         "zelvoctl: firmware image " + full + " runs over the PXE area (from 0x4a000): give the PXE image inside it or "
         "leave --pxe out\n"},
        {{"burn", "enp5s0", "--fw", chip0}, 4,
         "zelvoctl: firmware image " + chip0 + " holds 266240 bytes and would run over the card's trim area (from "
         "0x1f000)\n"},
        {{"restore", "enp3s0f0", "--from", backup}, 2,
         "zelvoctl: the backup is of card 0000:03:00.0 with serial 'ZS4P0300A17', this card 0000:03:00.0 has serial "
         "'ZS4P0300NEW' (--other-card writes it anyway, after backing this card up)\n"},
        {{"set", "enp4s0f1", "mac.1=02:5a:e1:04:00:00"}, 2,
         "zelvoctl: mac.1=02:5a:e1:04:00:00 is also port 0's address on this card (--force writes it anyway)\n"},
        {{"burn", "enp4s0f0", "--fw", image, "--overwrite-identity", "--no-backup"}, 2,
         "zelvoctl: mac.0=02:5a:e1:33:00:00 is already carried by card 0000:03:00.0 (--force writes it anyway)\n"},
        {{"restore", "enp3s0f0", "--from", backup, "--other-card", "--backup-dir", files / "own"}, 2,
         "zelvoctl: mac.0=02:5a:e1:03:00:00 is already carried by card 0000:06:00.0 (--force writes it anyway)\n"},
    };
    for (const auto& c : cases) {
        const write_watch watch(host.path());
        const sim_run r = zelvoctl(c.args, host.path(), config);
        EXPECT_EQ(r.status, c.status) << c.args[0] << r.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_FALSE(watch.wrote()) << c.args[0] << " wrote";
    }
    // Without the clone in slot 06:00.0.
    const std::string own = files / "replacement";
    const sim_run r = zelvoctl({"restore", "enp3s0f0", "--from", backup, "--other-card", "--backup-dir", own},
                               host.path(), replaced_card_config());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(json::parse(read_file_bytes(own + "/manifest.json"))["card"]["serial"], "ZS4P0300NEW");
    EXPECT_EQ(byte_diff(flash_in(host.path(), CARD4), flash_in(old_host.path(), CARD4)), "");
}

// With one card's maintain file held by another program, list and check go on
// with the other cards, name the locked one, and end with the lock status.
TEST(ZelvoctlSafety, ReadingCommandsReportALockedCardAndGoOn) {
    const struct {
        const char* command;
        const char* items;
        std::map<std::string, std::string> codes;  // each card named: its error code, "" for none
    } cases[] = {{"list", "cards", {{"0000:03:00.0", ""}, {"0000:04:00.0", "lock_timeout"}, {"0000:05:00.0", ""}}},
                 {"check", "problems", {{"0000:04:00.0", "lock_timeout"}}}};
    for (const auto& c : cases) {
        const locked_run r = run_tool_while_locked("enp4s0f0", 20, {"--json", "--lock-wait", "1", c.command}, 120, "", "",
                                                   zelvoctl_path());
        EXPECT_EQ(r.status, 6) << c.command << r.sim.err;
        std::map<std::string, std::string> codes;
        const json doc = json::parse(r.out);
        for (const json& item : doc[c.items])
            codes[item.contains("cards") ? item["cards"][0] : item["pci_address"]] =
                item.value(item.contains("code") ? "code" : "error_code", "");
        EXPECT_EQ(codes, c.codes) << r.out;
    }
    EXPECT_EQ(zelvoctl({"--version"}, "", "").out, "zelvoctl 1.0.0\n");
    const sim_run dry = zelvoctl({"set", "enp3s0f0", "sn=X", "--dry-run"}, "", "");
    EXPECT_TRUE(dry.out.ends_with("dry run: nothing written\n")) << dry.out;
}

// A card whose first interface's maintain file does not open is reached
// through another; a failure after the writes says the card was written and
// which backup restores it.
TEST(ZelvoctlSafety, FailuresSayWhatWasWrittenAndACardIsReachedThroughAnyInterface) {
    const temp_dir files;
    const std::string fw = make_fw(files / "kv9.fw", "0x88488308"), b = files / "b";
    const struct {
        std::string fault;  // of enp3s0f0
        std::vector<std::string> args;
        int status;
        std::string out;  // in standard output
    } cases[] = {
        {"no-open", {"--json", "list"}, 0, "\"serial\": \"ZS4P0300A17\""},
        {"no-open", {"burn", "03:00.0", "--fw", fw, "--backup-dir", b}, 0, "written and read back"},
        // Six reads plan and back up; the read-back then finds no answer.
        {"fail-reads-after=6", {"burn", "enp3s0f0", "--fw", fw, "--backup-dir", b}, 5,
         "the card was written; restore with: zelvoctl restore enp3s0f0 --from " + b},
    };
    for (const auto& c : cases) {
        const temp_dir state;
        fs::remove_all(b);
        const sim_run r = zelvoctl(c.args, state.path(), sim_default_config() + "fault enp3s0f0 " + c.fault + "\n");
        EXPECT_EQ(r.status, c.status) << c.fault << r.err;
        EXPECT_NE((r.out + r.err).find(c.out), std::string::npos) << c.fault << ": no " << c.out << " in\n" << r.out << r.err;
    }
}

}  // namespace
}  // namespace e2e
