// The log of every request the maintain files received, one line each, in
// the state folder; the line format is documented in sim/README.md.
#pragma once

#include <mutex>
#include <span>
#include <string>

#include "base/types.h"
#include "base/unique_fd.h"

namespace zsim {

struct logged_request {
    std::string iface;
    std::span<const u8> header;   // the 20 header bytes as received
    std::span<const u8> payload;  // the data behind the header
    int reply_data = 0;           // data_bytes announced by a read's reply
    const char* result = "ok";    // ok, lost, eio, enospc, einval
};

class request_log {
public:
    explicit request_log(const std::string& path);  // appends; throws sim_error
    void add(const logged_request& r);

private:
    unique_fd fd_;
    std::mutex mu_;
};

// The one line of a request, without the newline.
std::string format_request_line(const logged_request& r);

// The common CRC-32 (zlib's), as the log reports payloads.
u32 payload_crc32(std::span<const u8> data);

std::string request_log_path(const std::string& state_dir);

}  // namespace zsim
