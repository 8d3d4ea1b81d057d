// Helpers shared by the end-to-end test files: the banner, where a card's
// user record sits in its flash image and how its fields are laid out, and
// picking flash writes out of the simulator's request log.
//
// The numbers here are written out from the record's published format on
// purpose, not taken from the tool's headers: a wrong offset in the tool must
// show up as a difference, not move the expectation along with it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sim_harness.h"
#include "types.h"

namespace e2e {

// The tool's output without its banner line and the empty line after it.
// Output that does not start with a well-formed banner comes back whole,
// behind the marker "<no banner>", so that a comparison fails and shows it.
std::string strip_banner(const std::string& out);

// The two flash layouts of the simulated cards: the 0x8208 card uses kv3.
enum class flash_layout { standard, kv3 };
std::size_t flash_size(flash_layout layout);          // bytes of the whole image
std::size_t user_record_offset(flash_layout layout);  // where the user record starts

// The user configuration record: 480 bytes, little-endian, fields at these
// byte offsets.
constexpr std::size_t USER_RECORD_SZ = 480;
namespace ucfg_at {
constexpr std::size_t macaddr = 0;  // 8 slots of 8 bytes; the address is bytes 0-5
constexpr std::size_t mac_slot_len = 8;
constexpr std::size_t sn = 64;  // 32 bytes of text, zero-padded
constexpr std::size_t magic = 96;
constexpr std::size_t si_valid_flags = 100;
constexpr std::size_t si = 104;  // 8 entries: main, pre, post, boost
constexpr std::size_t fun_valid = 136;
constexpr std::size_t fun_flags = 144;
constexpr std::size_t pn = 152;
constexpr std::size_t pcfg = 184;
constexpr std::size_t led_bitmap = 188;  // led_ctrl, active_timeout, blink_high, blink_low
constexpr std::size_t pName = 204;
constexpr std::size_t lldp_admStatus = 236;  // one byte per port
constexpr std::size_t lldp_txIntval = 244;   // one byte per port
constexpr std::size_t wol_info = 252;        // per port: wol_mode (s32), wol_en (s32)
constexpr std::size_t pack_id = 316;         // id0 group, id0 pin, id1 group, id1 pin
constexpr std::size_t force_status = 320;    // s32 per port
constexpr std::size_t resv = 352;
constexpr std::size_t text_len = 32;
}  // namespace ucfg_at
constexpr u32 USER_RECORD_MAGIC = 0x87654321;

// The 480 record bytes of a flash image (the image must hold them).
std::vector<u8> user_record(const std::vector<u8>& image, flash_layout layout);
void put_user_record(std::vector<u8>& image, flash_layout layout, const std::vector<u8>& record);

// A record as the tool's reset leaves it: valid magic, texts, flags, LED and
// PCI word zero, everything else 0xFF, MAC slots all 0xFF.
std::vector<u8> reset_user_record();

// Field writers for building expected records.
void put_text(std::vector<u8>& record, std::size_t at, std::string_view text);  // 32 bytes, zero-padded
void put_u32(std::vector<u8>& record, std::size_t at, u32 value);               // little-endian
void put_bytes(std::vector<u8>& record, std::size_t at, const std::vector<u8>& bytes);

// The write requests of a request log (cmd 1), in order.
std::vector<logged_request> writes_in(const std::vector<logged_request>& log);

// The 480 record bytes at byte `at` of a flash image (the image must hold them).
std::vector<u8> user_record_at(const std::vector<u8>& image, std::size_t at);

// A valid record whose every field holds something recognisable (MAC slots,
// SI, LED, LLDP, WOL, pack id, force state, texts), with serial number `sn`.
std::vector<u8> sample_user_record(std::string_view sn);

// `record` with its serial number field replaced by `sn`, zero-padded.
std::vector<u8> with_serial_number(std::vector<u8> record, std::string_view sn);

// A flash image of `size` bytes filled with a position-dependent pattern (so a
// misplaced read or write shows), holding `record` at byte `record_at`.
std::vector<u8> patterned_image(std::size_t size, std::size_t record_at, const std::vector<u8>& record);

// A request header as the request log shows it: magic 0xa6a7a8a9, cmd, arg0
// (the partition), req_data_bytes, reply_bytes, little-endian, 40 hex digits.
std::string request_hdr_hex(int cmd, int part, int req_data_bytes, int reply_bytes);

// "" when the two byte strings are equal; otherwise their lengths and the
// first differing offsets with both bytes, for a readable failure.
std::string byte_diff(const std::vector<u8>& got, const std::vector<u8>& want);

bool file_exists(const std::string& path);
std::vector<u8> read_file_bytes(const std::string& path);
void write_file_bytes(const std::string& path, const std::vector<u8>& bytes);

// The tool run while another process holds the lock of a maintain file.
struct locked_run {
    std::string holder;  // what the lock holder announced: "locked" once it held the lock
    int status = -1;     // the tool's exit status
    double wall_s = -1, user_s = -1, sys_s = -1;  // the tool's elapsed and CPU time, seconds
    std::string out;     // the tool's standard output
    sim_run sim;         // the whole simulator run (its err has the tool's standard error)
};

// Inside the simulator: `zelnic-sim hold-lock MAINTAIN hold_s` is started,
// and once it holds the lock the tool runs with `args`, timed by the shell.
// The holder is stopped when the tool has ended.
locked_run run_tool_while_locked(const std::string& iface, double hold_s, const std::vector<std::string>& args,
                                 const std::string& config = "", const std::string& state_dir = "",
                                 double timeout_s = 120);

}  // namespace e2e
