// Helpers shared by the end-to-end tests. The record offsets are written out from the
// record's published format, not taken from the tool's headers, so that a wrong offset
// in the tool shows up as a difference.
#pragma once

#include <string_view>

#include "sim_harness.h"

namespace e2e {

// The user configuration record: 480 bytes, little-endian, fields at these offsets.
using record = std::vector<u8>;
constexpr std::size_t USER_RECORD_SZ = 480;
namespace ucfg_at {
constexpr std::size_t macaddr = 0, mac_slot_len = 8;  // 8 slots; the address is bytes 0-5
constexpr std::size_t sn = 64, pn = 152, pName = 204, text_len = 32;  // texts, zero-padded
constexpr std::size_t magic = 96, si_valid_flags = 100;
constexpr std::size_t si = 104;  // 8 entries: main, pre, post, boost
constexpr std::size_t fun_valid = 136, fun_flags = 144, pcfg = 184;
constexpr std::size_t led_bitmap = 188;  // led_ctrl, active_timeout, blink_high, blink_low
constexpr std::size_t lldp_admStatus = 236, lldp_txIntval = 244;  // one byte per port
constexpr std::size_t wol_info = 252;      // per port: wol_mode (s32), wol_en (s32)
constexpr std::size_t pack_id = 316;       // id0 group, id0 pin, id1 group, id1 pin
constexpr std::size_t force_status = 320;  // s32 per port
}  // namespace ucfg_at

// A record as the tool's reset leaves it: valid magic, texts, flags, LED and
// PCI word zero, everything else (MAC slots included) 0xFF.
record reset_user_record();
// A valid record whose bytes follow a pattern (so a field that moves or is
// reset shows), no SI value flagged, for every port link training marked set
// and on and FEC on but not marked, and serial number `sn`.
record sample_user_record(std::string_view sn);

void put_text(record& r, std::size_t at, std::string_view text);  // 32 bytes, zero-padded
void put_u32(record& r, std::size_t at, u32 value);               // little-endian
void put_bytes(std::vector<u8>& buf, std::size_t at, const std::vector<u8>& bytes);

// The built-in controllers: the 4-port card (enp3s0f0..3, table positions
// 0-3), the 2-port card of two functions (enp4s0f0, enp4s0f1, positions 4-5)
// and the 1-port card in the kv3 layout (enp5s0, position 6).
struct card {
    const char* addr;
    std::size_t flash_size, record_at;
    const char* sn;
};
inline const card CARD4{"0000:03:00.0", 0xCA000, 0x41000, "ZS4P0300OLD"};
inline const card CARD2{"0000:04:00.0", 0xCA000, 0x41000, "ZS2P0400OLD"};
inline const card CARD1{"0000:05:00.0", 0x80000, 0x1E000, "ZS1P0500OLD"};

// The card's flash filled with a position-dependent pattern (so a misplaced
// read or write shows), holding `r` at the card's record offset.
std::vector<u8> preset_image(const card& c, const record& r);

// A state folder holding every built-in card's flash as preset_image with
// sample_user_record(card's sn): every expected byte comes from the test.
struct preset_cards {
    temp_dir state;
    std::vector<std::string> launcher;  // words that start the tool, e.g. a shell that limits it
    preset_cards();
    // The tool with `args` on these cards; `config` empty: the built-in one.
    sim_run run(const std::vector<std::string>& args, const std::string& config = "") const;
};

// A run and what it must give: status, stdout (after the banner unless the args
// hold -q) and the log_summary of its requests.
struct tool_case {
    std::vector<std::string> args;
    int status;
    std::string out, log;
};
// Runs `c` on `cards` (`config` empty: the built-in controllers) and checks it.
sim_run expect_run(const preset_cards& cards, const tool_case& c, const std::string& config = "");

// The card's whole flash must be its preset image with `want` as the record.
void expect_flash_holds(const preset_cards& cards, const card& c, const record& want);

// The request log in short form: "r3" a read of partition 3, "w3" a write,
// ":RESULT" appended when the simulator did not answer "ok".
std::string log_summary(const std::vector<logged_request>& log);

// "" when the two byte strings are equal; otherwise their lengths and the
// first differing offsets with both bytes, for a readable failure.
std::string byte_diff(const std::vector<u8>& got, const std::vector<u8>& want);

// The `n` bytes of `bytes` from `at`.
std::vector<u8> slice(const std::vector<u8>& bytes, std::size_t at, std::size_t n);

// zelvoctl with `args` in the simulator on the flash images of `state`.
sim_run zelvoctl_in_sim(const std::vector<std::string>& args, const std::string& state, const std::string& config = "");

// The tool run while another process holds the lock of a maintain file.
struct locked_run {
    std::string holder;  // what the lock holder announced: "locked" once it held the lock
    int status = -1;     // the tool's exit status
    double wall_s = -1, user_s = -1, sys_s = -1;  // the tool's elapsed and CPU time, seconds
    std::string out;     // the tool's standard output
    sim_run sim;         // the whole simulator run (its err has the tool's stderr)
};
// Inside the simulator `zelnic-sim hold-lock MAINTAIN hold_s` is started; once
// it holds the lock the tool (or `program`) runs with `args`, timed by the
// shell, on the cards of `config` and the flash images of `state` (see
// run_in_sim).
locked_run run_tool_while_locked(const std::string& iface, double hold_s, const std::vector<std::string>& args,
                                 double timeout_s = 120, const std::string& config = "", const std::string& state = "",
                                 const char* program = tool_path());

}  // namespace e2e
