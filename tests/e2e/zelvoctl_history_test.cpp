// zelvoctl's history: one line for every change to a card, written before the
// command ends, in success and in failure; a history that cannot be written
// is an error.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "e2e_support.h"

namespace e2e {
namespace {

using json = nlohmann::json;

TEST(ZelvoctlHistory, EveryChangeIsOneLineWrittenBeforeTheCommandEnds) {
    const temp_dir state, files;
    const std::string history = history_in(state.path()), backup = files / "before-burn";
    const std::string fw = make_fw(files / "kv9.fw", "0x88488308");
    const struct {
        std::vector<std::string> args;
        std::string fault;  // of enp3s0f1
        int status;
        json line;  // the members of the line it appends; null: it appends none
    } cases[] = {
        {{"set", "enp3s0f1", "sn=HIST-1"}, "", 0,
         {{"command", "set"}, {"serial_before", "ZS4P0300A17"}, {"serial_after", "HIST-1"}, {"result", "ok"}}},
        {{"set", "enp3s0f1", "sn=HIST-1"}, "", 0, nullptr},  // nothing changes
        {{"set", "enp3s0f1", "sn=HIST-2", "--dry-run"}, "", 0, nullptr},
        {{"set", "enp3s0f1", "sn=HIST-3"}, "lose-user-writes", 1,
         {{"command", "set"}, {"serial_after", nullptr}, {"result", "problems_found"}}},
        {{"burn", "03:00.0", "--fw", fw, "--backup-dir", backup}, "", 0,
         {{"command", "burn"}, {"pci_address", "0000:03:00.0"}, {"backup", backup}, {"result", "ok"}}},
    };
    std::size_t count = 0;
    for (const auto& c : cases) {
        const std::string config = c.fault.empty() ? "" : sim_default_config() + "fault enp3s0f1 " + c.fault + "\n";
        const sim_run r = zelvoctl_in_sim(c.args, state.path(), config);
        EXPECT_EQ(r.status, c.status) << c.args[0] << r.err;
        const std::vector<json> lines = history_file_lines(history);
        ASSERT_EQ(lines.size(), count + (c.line.is_null() ? 0 : 1)) << c.args[0] << " " << c.args[2];
        for (const auto& [key, want] : c.line.items())
            EXPECT_EQ(lines[count][key], want) << key << " of " << lines[count];
        count = lines.size();
    }
    // history DEVICE picks a card's lines by interface, address or serial.
    for (const auto& [device, lines] : {std::pair{"enp3s0f0", 3u}, {"ZS4P0300A17", 1u}, {"0000:04:00.0", 0u}}) {
        const sim_run r = zelvoctl_in_sim({"--json", "history", device}, state.path());
        EXPECT_EQ(json::parse(r.out)["entries"].size(), lines) << device << r.err;
    }
}

// A history that cannot be opened stops a writer before the first write; one
// that cannot take the line once the card is written ends the command with
// status 7, saying that the card was written and which backup it has.
TEST(ZelvoctlHistory, AHistoryThatCannotBeWrittenIsAnError) {
    static const char script[] = R"sh(
full=$1/full
shift
mkdir -p "$full" && mount -t tmpfs -o size=64k tmpfs "$full" || exit 99
: >"$full/history"
dd if=/dev/zero of="$full/fill" bs=4k count=64 2>/dev/null
"$0" --json "$@"
echo "status=$?"
umount "$full"
)sh";
    const temp_dir state, files;
    const std::string fw = make_fw(files / "kv9.fw", "0x88488308");
    write_file_bytes(files / "a-file", {});
    const std::string full = files / "full/history";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;  // the JSON error's
    } cases[] = {
        {{"--history", files / "a-file/history", "set", "enp3s0f0", "sn=X"}, 5,
         "cannot open history " + files / "a-file/history" + ": Not a directory"},
        {{"--history", full, "set", "enp3s0f0", "sn=FULL"}, 7,
         "card 0000:03:00.0 was written (no backup was taken), but its history line could not be written to " + full +
             ": No space left on device"},
        {{"--history", full, "burn", "enp4s0f0", "--fw", fw, "--backup-dir", files / "b"}, 7,
         "card 0000:04:00.0 was written (its backup is " + files / "b" + "), but its history line could not be written to " +
             full + ": No space left on device"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"/bin/bash", "-c", script, zelvoctl_path(), files.path()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const write_watch watch(state.path());
        const auto [out, status] = split_status(run_in_sim(args, "", state.path()).out);
        EXPECT_EQ(status, c.status) << c.args[3] << out;
        const json error = json::parse(out)["error"];
        EXPECT_EQ(error.value("message", ""), c.message) << error;
        EXPECT_EQ(error.value("card_written", false), c.status == 7) << error;
        EXPECT_EQ(watch.wrote(), c.status == 7) << c.args[3];
    }
}

}  // namespace
}  // namespace e2e
