#include "request_log.h"

#include <fcntl.h>

#include <cstdio>

#include "base/byte_order.h"
#include "image/crc32_info.h"
#include "sim_error.h"

namespace zsim {

std::string request_log_path(const std::string& state_dir) {
    return state_dir + "/requests.log";
}

u32 payload_crc32(std::span<const u8> data) {
    return ~calc_crc32(CRC32_SEED_INIT, data.data(), static_cast<u32>(data.size()));
}

std::string format_request_line(const logged_request& r) {
    auto field = [&](int i) -> long {
        return r.header.size() >= static_cast<std::size_t>(4 * i + 4)
                   ? static_cast<std::int32_t>(get_le32(r.header.data() + 4 * i))
                   : 0;
    };
    std::string hex;
    char byte[3];
    for (u8 b : r.header) {
        std::snprintf(byte, sizeof byte, "%02x", b);
        hex += byte;
    }
    char tail[200];
    std::snprintf(tail, sizeof tail,
                  " cmd=%ld part=%ld req_data_bytes=%ld reply_bytes=%ld hdr=%s payload=%zu "
                  "crc32=%08x reply_data=%d result=%s",
                  field(1), field(2), field(3), field(4), hex.c_str(), r.payload.size(),
                  payload_crc32(r.payload), r.reply_data, r.result);
    return "iface=" + r.iface + tail;
}

request_log::request_log(const std::string& path) {
    fd_.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!fd_)
        throw sim_error(errno_text("cannot open request log " + path));
}

void request_log::add(const logged_request& r) {
    const std::string line = format_request_line(r) + "\n";
    std::lock_guard lock(mu_);
    // One write per line: O_APPEND keeps lines whole even with other writers.
    [[maybe_unused]] const ssize_t n = ::write(fd_.get(), line.data(), line.size());
}

}  // namespace zsim
