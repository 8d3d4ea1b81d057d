#include "e2e_support.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>

#include "byte_order.h"

namespace e2e {

std::string strip_banner(const std::string& out) {
    // Version 1.0.0, then the build date as "Sep 28 2025" and time as "09:43:38".
    static const std::regex banner(
        "Zelvo flash update tools: 1\\.0\\.0 build:[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4},"
        "[0-9]{2}:[0-9]{2}:[0-9]{2}\n\n");
    std::smatch m;
    if (!std::regex_search(out, m, banner, std::regex_constants::match_continuous))
        return "<no banner>" + out;
    return out.substr(static_cast<std::size_t>(m.length(0)));
}

std::size_t flash_size(flash_layout layout) {
    return layout == flash_layout::kv3 ? 0x80000 : 0xCA000;
}

std::size_t user_record_offset(flash_layout layout) {
    return layout == flash_layout::kv3 ? 0x1E000 : 0x41000;
}

std::vector<u8> user_record(const std::vector<u8>& image, flash_layout layout) {
    const std::size_t at = user_record_offset(layout);
    if (image.size() < at + USER_RECORD_SZ)
        throw std::runtime_error("flash image of " + std::to_string(image.size()) +
                                 " bytes holds no user record");
    return {image.begin() + static_cast<std::ptrdiff_t>(at),
            image.begin() + static_cast<std::ptrdiff_t>(at + USER_RECORD_SZ)};
}

void put_user_record(std::vector<u8>& image, flash_layout layout, const std::vector<u8>& record) {
    put_bytes(image, user_record_offset(layout), record);
}

std::vector<u8> reset_user_record() {
    std::vector<u8> r(USER_RECORD_SZ, 0xFF);
    const auto zero = [&r](std::size_t at, std::size_t n) {
        std::fill_n(r.begin() + static_cast<std::ptrdiff_t>(at), n, u8{0});
    };
    zero(ucfg_at::sn, ucfg_at::text_len);
    put_u32(r, ucfg_at::magic, USER_RECORD_MAGIC);
    zero(ucfg_at::si_valid_flags, 4);
    zero(ucfg_at::fun_valid, 8);
    zero(ucfg_at::fun_flags, 8);
    zero(ucfg_at::pn, ucfg_at::text_len);
    zero(ucfg_at::pcfg, 4);
    zero(ucfg_at::led_bitmap, 16);
    zero(ucfg_at::pName, ucfg_at::text_len);
    return r;
}

void put_text(std::vector<u8>& record, std::size_t at, std::string_view text) {
    if (text.size() > ucfg_at::text_len)
        throw std::invalid_argument("text field holds 32 bytes");
    std::vector<u8> field(ucfg_at::text_len, 0);
    std::copy(text.begin(), text.end(), field.begin());
    put_bytes(record, at, field);
}

void put_u32(std::vector<u8>& record, std::size_t at, u32 value) {
    if (at + 4 > record.size())
        throw std::out_of_range("u32 beyond the record");
    put_le32(record.data() + at, value);
}

void put_bytes(std::vector<u8>& record, std::size_t at, const std::vector<u8>& bytes) {
    if (at + bytes.size() > record.size())
        throw std::out_of_range("bytes beyond the buffer");
    std::copy(bytes.begin(), bytes.end(), record.begin() + static_cast<std::ptrdiff_t>(at));
}

std::vector<logged_request> writes_in(const std::vector<logged_request>& log) {
    std::vector<logged_request> w;
    std::copy_if(log.begin(), log.end(), std::back_inserter(w),
                 [](const logged_request& e) { return e.cmd == 1; });
    return w;
}

std::vector<u8> user_record_at(const std::vector<u8>& image, std::size_t at) {
    if (image.size() < at + USER_RECORD_SZ)
        throw std::runtime_error("flash image of " + std::to_string(image.size()) +
                                 " bytes holds no user record at " + std::to_string(at));
    return {image.begin() + static_cast<std::ptrdiff_t>(at),
            image.begin() + static_cast<std::ptrdiff_t>(at + USER_RECORD_SZ)};
}

std::vector<u8> sample_user_record(std::string_view sn) {
    std::vector<u8> r = reset_user_record();
    for (std::size_t p = 0; p < 8; ++p) {
        // Address 02:5a:e1:00:0p:00 plus two recognisable spare bytes.
        put_bytes(r, ucfg_at::macaddr + p * ucfg_at::mac_slot_len,
                  {0x02, 0x5a, 0xe1, 0x00, static_cast<u8>(p), 0x00, static_cast<u8>(0xa0 + p),
                   static_cast<u8>(0xb0 + p)});
        put_bytes(r, ucfg_at::si + 4 * p, {static_cast<u8>(20 + p), 1, static_cast<u8>(10 + p), 7});
        r[ucfg_at::lldp_admStatus + p] = static_cast<u8>(p % 4);
        r[ucfg_at::lldp_txIntval + p] = 30;
        put_u32(r, ucfg_at::wol_info + 8 * p, static_cast<u32>(p));
        put_u32(r, ucfg_at::wol_info + 8 * p + 4, static_cast<u32>(p % 2));
        put_u32(r, ucfg_at::force_status + 4 * p, static_cast<u32>(p % 2));
    }
    put_u32(r, ucfg_at::si_valid_flags, 0x0000ffff);
    put_text(r, ucfg_at::sn, sn);
    put_text(r, ucfg_at::pn, "PN-E2E-0001");
    put_text(r, ucfg_at::pName, "E2E sample card");
    put_bytes(r, ucfg_at::led_bitmap,
              {0x42, 0xc4, 0x46, 0x47, 0xa0, 0xac, 0xb9, 0x03, 0x58, 0x4f, 0x9e, 0x00, 0x40, 0x78, 0x7d, 0x01});
    put_bytes(r, ucfg_at::pack_id, {1, 2, 3, 0});
    return r;
}

std::vector<u8> with_serial_number(std::vector<u8> record, std::string_view sn) {
    put_text(record, ucfg_at::sn, sn);
    return record;
}

std::vector<u8> patterned_image(std::size_t size, std::size_t record_at, const std::vector<u8>& record) {
    std::vector<u8> image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = static_cast<u8>((i * 7) ^ (i >> 8) ^ (i >> 16));
    put_bytes(image, record_at, record);
    return image;
}

std::string request_hdr_hex(int cmd, int part, int req_data_bytes, int reply_bytes) {
    const u32 words[] = {0xa6a7a8a9u, static_cast<u32>(cmd), static_cast<u32>(part),
                         static_cast<u32>(req_data_bytes), static_cast<u32>(reply_bytes)};
    std::string hex;
    for (u32 w : words) {
        for (int b = 0; b < 4; ++b) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", static_cast<unsigned>((w >> (8 * b)) & 0xffu));
            hex += two;
        }
    }
    return hex;
}

std::string byte_diff(const std::vector<u8>& got, const std::vector<u8>& want) {
    std::string diff;
    if (got.size() != want.size())
        diff += "size " + std::to_string(got.size()) + ", want " + std::to_string(want.size()) + "\n";
    int shown = 0;
    for (std::size_t i = 0; i < std::min(got.size(), want.size()) && shown < 16; ++i) {
        if (got[i] == want[i])
            continue;
        char line[64];
        std::snprintf(line, sizeof line, "at %zu: %02x, want %02x\n", i, got[i], want[i]);
        diff += line;
        ++shown;
    }
    return diff;
}

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

std::vector<u8> read_file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::vector<u8>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_file_bytes(const std::string& path, const std::vector<u8>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

locked_run run_tool_while_locked(const std::string& iface, double hold_s, const std::vector<std::string>& args,
                                 const std::string& config, const std::string& state_dir, double timeout_s) {
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
    std::vector<std::string> command = {"/bin/bash", "-c", script, "locked-run", sim_path(), tool_path(),
                                        dir.path(), "/sys/class/net/" + iface + "/maintain",
                                        std::to_string(hold_s)};
    command.insert(command.end(), args.begin(), args.end());
    locked_run r;
    r.sim = run_in_sim(command, config, state_dir, timeout_s);
    const std::size_t eol = r.sim.out.find('\n');
    const std::string first = r.sim.out.substr(0, eol);
    char holder[32] = "";
    if (std::sscanf(first.c_str(), "holder=%31s status=%d time=%lf %lf %lf", holder, &r.status, &r.wall_s,
                    &r.user_s, &r.sys_s) != 5)
        throw std::runtime_error("no measurement from the locked run: " + r.sim.out + r.sim.err);
    r.holder = holder;
    r.out = eol == std::string::npos ? "" : r.sim.out.substr(eol + 1);
    return r;
}

}  // namespace e2e
