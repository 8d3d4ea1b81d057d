// zelvoctl's history: every change a writing command makes to a card is one
// line of the history file, written before the command ends, in success and
// in failure; a history that cannot be written stops the command before the
// card is touched, or, once the card is written, is reported as an error
// that says so; `zelvoctl history` prints the lines.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "e2e_support.h"

namespace e2e {
namespace {

using json = nlohmann::json;

sim_run zelvoctl(const std::string& history, std::vector<std::string> args, const std::string& state,
                 const std::string& config = "") {
    args.insert(args.begin(), {zelvoctl_path(), "--history", history});
    return run_in_sim(args, config, state);
}

std::vector<json> lines_of(const std::string& history) {
    std::vector<json> lines;
    std::string text;
    for (const u8 b : read_file_bytes(history))
        text.push_back(static_cast<char>(b));
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(json::parse(text.substr(start, end - start)));
    EXPECT_EQ(start, text.size()) << "the last line is cut";
    return lines;
}

std::string sha256_of(const std::vector<u8>& bytes, const std::string& dir) {
    const std::string path = dir + "/hashed";
    write_file_bytes(path, bytes);
    const test_support::process_result r = test_support::run_process({"/usr/bin/sha256sum", path}, 30);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out.substr(0, 64);
}

TEST(ZelvoctlHistory, EveryChangeIsOneLineWrittenBeforeTheCommandEnds) {
    const temp_dir state, files;
    const std::string history = files / "history.jsonl", fw = files / "kv9.fw", backup = files / "before-burn";
    ASSERT_EQ(run_in_sim({sim_path(), "make-fw", "--crc", "--chip-group", "0x88488308", fw}, "", state.path()).status, 0);
    const std::string lost = sim_default_config() + "fault enp3s0f1 lose-user-writes\n";
    const struct {
        std::vector<std::string> args;
        std::string config;
        int status;
        json line;  // the members of the line it appends; null: it appends none
    } cases[] = {
        {{"set", "enp3s0f1", "sn=HIST-1"}, "", 0,
         {{"command", "set"}, {"serial_before", "ZS4P0300A17"}, {"serial_after", "HIST-1"}, {"backup", nullptr},
          {"result", "ok"}}},
        {{"set", "enp3s0f1", "sn=HIST-1"}, "", 0, nullptr},  // nothing changes
        {{"set", "enp3s0f1", "sn=HIST-2", "--dry-run"}, "", 0, nullptr},
        {{"set", "enp3s0f1", "sn=HIST-3"}, lost, 1,
         {{"command", "set"}, {"serial_before", "HIST-1"}, {"serial_after", nullptr}, {"result", "problems_found"}}},
        {{"burn", "03:00.0", "--fw", fw, "--backup-dir", backup}, "", 0,
         {{"command", "burn"}, {"serial_before", "HIST-1"}, {"serial_after", "HIST-1"}, {"backup", backup},
          {"result", "ok"}}},
        {{"burn", "03:00.0", "--fw", fw, "--no-backup"}, "", 0, nullptr},  // already on the card
        {{"restore", "03:00.0", "--from", backup}, "", 0,
         {{"command", "restore"}, {"serial_before", "HIST-1"}, {"serial_after", "HIST-1"}, {"backup", nullptr},
          {"restored_from", backup}, {"result", "ok"}}},
    };
    std::size_t count = 0;
    std::vector<u8> burnt;  // the flash as the burn left it
    for (const auto& c : cases) {
        const sim_run r = zelvoctl(history, c.args, state.path(), c.config);
        EXPECT_EQ(r.status, c.status) << c.args[0] << r.err;
        const std::vector<json> lines = lines_of(history);
        ASSERT_EQ(lines.size(), count + (c.line.is_null() ? 0 : 1)) << c.args[0] << " " << c.args[2];
        if (c.line.is_null())
            continue;
        const json& line = lines[count++];
        for (const auto& [key, want] : c.line.items())
            EXPECT_EQ(line[key], want) << key << " of " << line;
        EXPECT_EQ(line["pci_address"], "0000:03:00.0");
        EXPECT_EQ(line["device_id"], "0x8308");
        if (c.args[0] == "burn")
            burnt = read_file_bytes(state.path() + "/" + CARD4.addr + ".flash");
    }
    // The SHA-256 of each image written is the hash of the bytes the card holds.
    const std::vector<u8> flash = read_file_bytes(state.path() + "/" + CARD4.addr + ".flash");
    const json burn = lines_of(history)[2]["images"];
    ASSERT_EQ(burn.size(), 1u) << burn;
    EXPECT_EQ(burn[0]["partition"], "firmware");
    const std::size_t bytes = burn[0]["bytes"];
    ASSERT_GE(burnt.size(), bytes);
    EXPECT_EQ(burn[0]["sha256"], sha256_of({burnt.begin(), burnt.begin() + static_cast<long>(bytes)}, files.path()));
    const json set = lines_of(history)[0]["images"];
    EXPECT_EQ(set, json::parse(R"([{"partition":"user","bytes":480,"accepted":true,"sha256":")" +
                               sha256_of({flash.begin() + 0x41000, flash.begin() + 0x41000 + 480}, files.path()) +
                               "\"}]"))
        << "the lost write left the record as the first set wrote it";

    // history DEVICE picks a card's lines by interface, address or serial.
    const struct {
        std::string device;
        std::size_t lines;
    } picks[] = {{"", 4}, {"enp3s0f0", 4}, {"03:00.0", 4}, {"ZS4P0300A17", 1}, {"0000:04:00.0", 0}};
    for (const auto& p : picks) {
        std::vector<std::string> args = {"--json", "history"};
        if (!p.device.empty())
            args.push_back(p.device);
        const sim_run r = zelvoctl(history, args, state.path());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(json::parse(r.out)["entries"].size(), p.lines) << p.device;
    }
    const sim_run human = zelvoctl(history, {"history", "ZS4P0300A17"}, state.path());
    EXPECT_EQ(human.out.substr(human.out.find('\n') + 1),
              lines_of(history)[0].value("time", "") +
                  "  set        0000:03:00.0  ZS4P0300A17 -> HIST-1           ok                   -\n")
        << human.out;
}

// Cards worked on at once share the history: each card a writer changes
// gets its own whole line, in success and in failure, and a card failing
// after its writes says so and names its backup in its own result.
TEST(ZelvoctlHistory, EachCardOfManyAtOnceGetsItsOwnLine) {
    const temp_dir state, files;
    const std::string history = files / "history.jsonl", fw = files / "kv9.fw", root = files / "backups";
    ASSERT_EQ(run_in_sim({sim_path(), "make-fw", "--crc", "--chip-group", "0x88488308", fw}, "", state.path()).status, 0);
    const std::string cut = sim_default_config() + "fault enp3s0f0 fail-reads-after=6\n";
    const struct {
        std::vector<std::string> args;
        std::string config;
        int status;
        std::map<std::string, std::string> results;  // each card's line: its result
    } cases[] = {
        // Six reads plan and back up 03:00.0; its read-back finds no answer.
        {{"burn", "03:00.0", "04:00.0", "--jobs", "2", "--fw", fw, "--backup-dir", root}, cut, 5,
         {{"0000:03:00.0", "io_failure"}, {"0000:04:00.0", "ok"}}},
        {{"set", "--all", "led=11 22 33 44"}, "", 0,
         {{"0000:03:00.0", "ok"}, {"0000:04:00.0", "ok"}, {"0000:05:00.0", "ok"}}},
        {{"set", "--all", "led=11 22 33 44"}, "", 0, {}},  // nothing changes
    };
    std::size_t count = 0;
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const sim_run r = zelvoctl(history, args, state.path(), c.config);
        EXPECT_EQ(r.status, c.status) << c.args[0] << r.err;
        const std::vector<json> lines = lines_of(history);
        ASSERT_EQ(lines.size(), count + c.results.size()) << c.args[0];
        std::map<std::string, std::string> results;
        for (std::size_t i = count; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i]["command"], c.args[0]);
            results[lines[i]["pci_address"]] = lines[i]["result"];
        }
        EXPECT_EQ(results, c.results);
        count = lines.size();
        if (c.status == 0)
            continue;
        const json doc = json::parse(r.out);
        const json& failed = doc["cards"][0];
        const std::string backup = failed.value("backup", "");
        EXPECT_TRUE(backup.starts_with(root + "/")) << failed;
        EXPECT_EQ(failed["error"]["card_written"], true) << failed;
        EXPECT_EQ(failed["error"]["backup"], backup) << failed;
        EXPECT_NE(failed["error"].value("message", "").find("; the card was written; restore with: zelvoctl restore "
                                                              "enp3s0f0 --from " + backup),
                  std::string::npos)
            << failed;
        EXPECT_EQ(lines[0]["backup"], backup);
        EXPECT_FALSE(doc["cards"][1].contains("error")) << doc;
    }
}

// A history that cannot be opened stops a writer before the first write; one
// that cannot take the line once the card is written ends the command with
// status 7, saying that the card was written and which backup it has.
TEST(ZelvoctlHistory, AHistoryThatCannotBeWrittenIsAnError) {
    static const char script[] = R"sh(
zelvoctl=$1 dir=$2 fw=$3
shift 3
mkdir -p "$dir/full" && mount -t tmpfs -o size=64k tmpfs "$dir/full" || exit 99
: >"$dir/full/history"
dd if=/dev/zero of="$dir/full/fill" bs=4k count=64 2>/dev/null
"$zelvoctl" --json "$@"
echo "status=$?"
umount "$dir/full"
)sh";
    const temp_dir state, files;
    const std::string fw = files / "kv9.fw";
    ASSERT_EQ(run_in_sim({sim_path(), "make-fw", "--crc", "--chip-group", "0x88488308", fw}, "", state.path()).status, 0);
    write_file_bytes(files / "a-file", {});
    const std::string full = files / "full/history";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;  // the JSON error's
        bool written;         // the card was written
        json backup;
    } cases[] = {
        {{"--history", files / "a-file/history", "set", "enp3s0f0", "sn=X"}, 5,
         "cannot open history " + files / "a-file/history" + ": Not a directory", false, nullptr},
        {{"--history", "/dev/null", "set", "enp3s0f0", "sn=X"}, 5,
         "cannot open history /dev/null: Invalid argument", false, nullptr},
        {{"--history", full, "set", "enp3s0f0", "sn=FULL"}, 7,
         "card 0000:03:00.0 was written (no backup was taken), but its history line could not be written to " + full +
             ": No space left on device",
         true, nullptr},
        {{"--history", files / "h", "burn", "enp4s0f0", "--fw", fw, "--backup-dir", files / "full/b"}, 5,
         "cannot write ", false, nullptr},
        {{"--history", full, "burn", "enp4s0f0", "--fw", fw, "--backup-dir", files / "b"}, 7,
         "card 0000:04:00.0 was written (its backup is " + files / "b" + "), but its history line could not be written to " +
             full + ": No space left on device",
         true, files / "b"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"/bin/bash", "-c", script, "full", zelvoctl_path(), files.path(), fw};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const std::size_t logged = read_request_log(state.path()).size();
        const sim_run r = run_in_sim(args, "", state.path());
        const std::size_t cut = r.out.rfind("status=");
        ASSERT_NE(cut, std::string::npos) << r.out << r.err;
        EXPECT_EQ(r.out.substr(cut), "status=" + std::to_string(c.status) + "\n") << c.args[1] << r.err;
        const json error = json::parse(r.out.substr(0, cut))["error"];
        EXPECT_TRUE(error.value("message", "").starts_with(c.message)) << error;
        if (c.message == "cannot write ") {
            EXPECT_TRUE(error.value("message", "").ends_with(": No space left on device")) << error;
        }
        EXPECT_EQ(error.value("card_written", false), c.written) << error;
        EXPECT_EQ(error.value("backup", json(nullptr)), c.backup) << error;
        const auto log = read_request_log(state.path());
        EXPECT_EQ(log_summary({log.begin() + static_cast<long>(logged), log.end()}).find('w') != std::string::npos,
                  c.written) << c.args[1];
    }
}

}  // namespace
}  // namespace e2e
