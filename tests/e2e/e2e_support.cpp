#include "e2e_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <stdexcept>

#include "base/byte_order.h"
#include "flash_store.h"

namespace e2e {

// The tool's output without its banner line and the empty line after it; output
// without a well-formed banner comes back whole behind "<no banner>".
static std::string strip_banner(const std::string& out) {
    // Version 1.0.0, then the build date as "Sep 28 2025" and time as "09:43:38".
    static const std::regex banner(
        "Zelvo flash update tools: 1\\.0\\.0 build:[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4},"
        "[0-9]{2}:[0-9]{2}:[0-9]{2}\n\n");
    std::smatch m;
    if (!std::regex_search(out, m, banner, std::regex_constants::match_continuous))
        return "<no banner>" + out;
    return out.substr(static_cast<std::size_t>(m.length(0)));
}

record reset_user_record() {
    record r(USER_RECORD_SZ, 0xFF);
    for (const auto& [at, n] : {std::pair{ucfg_at::sn, ucfg_at::text_len}, {ucfg_at::si_valid_flags, 4},
                                {ucfg_at::fun_valid, 8}, {ucfg_at::fun_flags, 8}, {ucfg_at::pn, ucfg_at::text_len},
                                {ucfg_at::pcfg, 4}, {ucfg_at::led_bitmap, 16}, {ucfg_at::pName, ucfg_at::text_len}})
        put_bytes(r, at, std::vector<u8>(n, 0));
    put_u32(r, ucfg_at::magic, 0x87654321);
    return r;
}

record sample_user_record(std::string_view sn) {
    record r(USER_RECORD_SZ);
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<u8>(0x30 + 11 * i);
    put_u32(r, ucfg_at::magic, 0x87654321);
    put_u32(r, ucfg_at::si_valid_flags, 0);
    put_bytes(r, ucfg_at::fun_valid, std::vector<u8>(8, 0x02));
    put_bytes(r, ucfg_at::fun_flags, std::vector<u8>(8, 0x06));
    put_text(r, ucfg_at::sn, sn);
    return r;
}

void put_text(record& r, std::size_t at, std::string_view text) {
    if (text.size() > ucfg_at::text_len)
        throw std::invalid_argument("text field holds 32 bytes");
    std::vector<u8> field(ucfg_at::text_len, 0);
    std::copy(text.begin(), text.end(), field.begin());
    put_bytes(r, at, field);
}

void put_u32(record& r, std::size_t at, u32 value) {
    std::vector<u8> le(4);
    put_le32(le.data(), value);
    put_bytes(r, at, le);
}

void put_bytes(std::vector<u8>& buf, std::size_t at, const std::vector<u8>& bytes) {
    if (at + bytes.size() > buf.size())
        throw std::out_of_range("bytes beyond the buffer");
    std::copy(bytes.begin(), bytes.end(), buf.begin() + static_cast<std::ptrdiff_t>(at));
}

std::vector<u8> preset_image(const card& c, const record& r) {
    std::vector<u8> image(c.flash_size);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<u8>((i * 7) ^ (i >> 8) ^ (i >> 16));
    put_bytes(image, c.record_at, r);
    return image;
}

static std::string flash_file(const preset_cards& cards, const card& c) {
    return zsim::flash_file_path(cards.state.path(), c.addr);
}

preset_cards::preset_cards() {
    for (const card* c : {&CARD4, &CARD2, &CARD1})
        write_file_bytes(flash_file(*this, *c), preset_image(*c, sample_user_record(c->sn)));
}

sim_run preset_cards::run(const std::vector<std::string>& args, const std::string& config) const {
    std::vector<std::string> command = launcher;
    command.push_back(tool_path());
    command.insert(command.end(), args.begin(), args.end());
    return run_in_sim(command, config, state.path());
}

sim_run expect_run(const preset_cards& cards, const tool_case& c, const std::string& config) {
    const sim_run r = cards.run(c.args, config);
    EXPECT_EQ(r.status, c.status) << r.err;
    const bool quiet = std::find(c.args.begin(), c.args.end(), "-q") != c.args.end();
    EXPECT_EQ(quiet ? r.out : strip_banner(r.out), c.out);
    EXPECT_EQ(log_summary(read_request_log(cards.state.path())), c.log);
    return r;
}

void expect_flash_holds(const preset_cards& cards, const card& c, const record& want) {
    const std::vector<u8> now = read_file_bytes(flash_file(cards, c));
    ASSERT_EQ(now.size(), c.flash_size) << c.addr;
    const auto at = now.begin() + static_cast<std::ptrdiff_t>(c.record_at);
    EXPECT_EQ(byte_diff(record(at, at + USER_RECORD_SZ), want), "") << c.addr << ": user record";
    EXPECT_TRUE(now == preset_image(c, want)) << c.addr << ": bytes outside the record changed";
}

std::string log_summary(const std::vector<logged_request>& log) {
    std::string s;
    for (const logged_request& e : log)
        s += (s.empty() ? "" : " ") + std::string(e.cmd == 0 ? "r" : e.cmd == 1 ? "w" : "?") +
             std::to_string(e.part) + (e.result == "ok" ? "" : ":" + e.result);
    return s;
}

std::vector<u8> slice(const std::vector<u8>& bytes, std::size_t at, std::size_t n) {
    return {bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + n)};
}

sim_run zelvoctl_in_sim(const std::vector<std::string>& args, const std::string& state, const std::string& config) {
    // The history goes into the test's own state folder, never the host's.
    std::vector<std::string> command = zelvoctl_command(state);
    command.insert(command.end(), args.begin(), args.end());
    return run_in_sim(command, config, state);
}

std::string byte_diff(const std::vector<u8>& got, const std::vector<u8>& want) {
    std::string diff;
    if (got.size() != want.size())
        diff += "size " + std::to_string(got.size()) + ", want " + std::to_string(want.size()) + "\n";
    for (std::size_t i = 0, shown = 0; i < std::min(got.size(), want.size()) && shown < 16; ++i) {
        if (got[i] == want[i])
            continue;
        char line[64];
        std::snprintf(line, sizeof line, "at %zu: %02x, want %02x\n", i, got[i], want[i]);
        diff += line;
        ++shown;
    }
    return diff;
}

locked_run run_tool_while_locked(const std::string& iface, double hold_s, const std::vector<std::string>& args,
                                 double timeout_s, const std::string& config, const std::string& state,
                                 const char* program) {
    // The holder announces "locked" through a fifo once it holds the lock;
    // bash's `time` reports the tool's elapsed, user and system seconds. The
    // first output line is the measurement, the tool's output follows.
    static const char script[] = R"sh(
sim=$1 tool=$2 dir=$3 maintain=$4 hold=$5
shift 5
mkfifo "$dir/ready"
"$sim" hold-lock "$maintain" "$hold" >"$dir/ready" &
holder=$!
read -r ready <"$dir/ready"
TIMEFORMAT='%R %U %S'
{ time "$tool" "$@" >"$dir/out"; } 2>"$dir/time"
status=$?
kill "$holder" 2>/dev/null
wait "$holder"
echo "holder=$ready status=$status time=$(tail -n 1 "$dir/time")"
head -n -1 "$dir/time" >&2
cat "$dir/out"
)sh";
    temp_dir dir;
    std::vector<std::string> command = {"/bin/bash", "-c", script, "locked-run", sim_path(), program,
                                        dir.path(), "/sys/class/net/" + iface + "/maintain",
                                        std::to_string(hold_s)};
    command.insert(command.end(), args.begin(), args.end());
    locked_run r;
    r.sim = run_in_sim(command, config, state, timeout_s);
    const std::size_t eol = r.sim.out.find('\n');
    char holder[32] = "";
    if (std::sscanf(r.sim.out.substr(0, eol).c_str(), "holder=%31s status=%d time=%lf %lf %lf", holder, &r.status,
                    &r.wall_s, &r.user_s, &r.sys_s) != 5)
        throw std::runtime_error("no measurement from the locked run: " + r.sim.out + r.sim.err);
    r.holder = holder;
    r.out = eol == std::string::npos ? "" : r.sim.out.substr(eol + 1);
    return r;
}

}  // namespace e2e
