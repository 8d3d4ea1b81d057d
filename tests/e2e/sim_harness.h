// End-to-end harness: runs the unchanged tool (or any command) inside the
// zelnic driver simulator and gives access to what the simulator recorded:
// each card's flash image and the log of maintain requests.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "process_run.h"
#include "request_log.h"
#include "test_bytes.h"
#include "base/types.h"

namespace e2e {

using test_support::temp_dir;

struct sim_run {
    int status = -1;        // the command's exit status (128 + N for signal N); -1 on time-out
    std::string out, err;   // the command's (the simulator's own messages go to stderr too)
    std::string state_dir;  // where the flash images and the request log are
};

// Runs `command` in the simulator. `config` is config text (sim/README.md);
// empty means the built-in controllers. `state_dir` empty: a fresh folder,
// removed when the test binary ends; otherwise that folder, whose flash
// images (ADDR.flash) are reused. After `timeout_s` the run is ended.
sim_run run_in_sim(const std::vector<std::string>& command, const std::string& config = "",
                   const std::string& state_dir = "", double timeout_s = 120);
const char* tool_path();
const char* zelvoctl_path();
// The words that start zelvoctl with its history in folder `dir` (a test's
// own folder), never the host's. `dir` empty: /dev/null, which zelvoctl
// refuses as a history, so a test that writes a card must name a folder.
std::vector<std::string> zelvoctl_command(const std::string& dir);
std::string history_in(const std::string& dir);
const char* sim_path();
// The built-in controllers in config form, to edit for a test.
std::string sim_default_config();

using test_support::read_file_bytes;
using test_support::write_file_bytes;

// One line of STATE/requests.log.
struct logged_request {
    int cmd = -1, part = -1;  // 0 read, 1 write; arg0
    std::string hdr;          // the 20 header bytes, 40 lowercase hex digits
    long payload = -1;        // bytes behind the header
    u32 crc32 = 0;            // payload_crc32 of them
    long reply_data = -1;     // data_bytes a read's reply announced
    std::string result;       // ok, lost, ignored, eio, enospc, einval
    std::string iface;        // the interface whose maintain file took it
};
std::vector<logged_request> read_request_log(const std::string& state_dir);

// The common CRC-32 (zlib's), as the request log reports payloads.
using zsim::payload_crc32;

}  // namespace e2e
