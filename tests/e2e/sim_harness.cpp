#include "sim_harness.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "image/crc32_info.h"

using test_support::process_result;
using test_support::run_process;

namespace e2e {

namespace {

// Folders the harness made on its own; removed when the test binary ends.
std::vector<std::unique_ptr<temp_dir>>& owned_dirs() {
    static std::vector<std::unique_ptr<temp_dir>> dirs;
    return dirs;
}

}  // namespace

const char* tool_path() { return KV7_TOOL_PATH; }
const char* sim_path() { return ZELNIC_SIM_PATH; }

sim_run run_in_sim(const std::vector<std::string>& command, const std::string& config,
                   const std::string& state_dir, double timeout_s) {
    sim_run r;
    r.state_dir = state_dir;
    if (r.state_dir.empty()) {
        owned_dirs().push_back(std::make_unique<temp_dir>());
        r.state_dir = owned_dirs().back()->path();
    }
    std::vector<std::string> words = {sim_path(), "run", "--state", r.state_dir};
    temp_dir cfg_dir;
    if (!config.empty()) {
        const std::string cfg = cfg_dir.path() + "/sim.conf";
        std::ofstream(cfg) << config;
        words.insert(words.end(), {"--config", cfg});
    }
    words.push_back("--");
    words.insert(words.end(), command.begin(), command.end());
    process_result s = run_process(words, timeout_s);
    r.status = s.status;
    r.out = std::move(s.out);
    r.err = std::move(s.err);
    return r;
}

sim_run run_tool(const std::vector<std::string>& args, const std::string& config,
                 const std::string& state_dir, double timeout_s) {
    std::vector<std::string> command = {tool_path()};
    command.insert(command.end(), args.begin(), args.end());
    return run_in_sim(command, config, state_dir, timeout_s);
}

std::string sim_default_config() {
    const process_result s = run_process({sim_path(), "default-config"}, 30);
    if (s.status != 0)
        throw std::runtime_error("zelnic-sim default-config failed: " + s.err);
    return s.out;
}

static std::string flash_image_path(const std::string& state_dir, const std::string& card_addr) {
    return state_dir + "/" + card_addr + ".flash";
}

std::vector<u8> read_flash_image(const std::string& state_dir, const std::string& card_addr) {
    std::ifstream in(flash_image_path(state_dir, card_addr), std::ios::binary);
    return std::vector<u8>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_flash_image(const std::string& state_dir, const std::string& card_addr,
                       const std::vector<u8>& image) {
    std::ofstream out(flash_image_path(state_dir, card_addr), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
}

std::vector<logged_request> read_request_log(const std::string& state_dir) {
    std::vector<logged_request> entries;
    std::ifstream in(state_dir + "/requests.log");
    for (std::string line; std::getline(in, line);) {
        logged_request e;
        std::istringstream words(line);
        for (std::string w; words >> w;) {
            const auto eq = w.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string k = w.substr(0, eq), v = w.substr(eq + 1);
            if (k == "cmd")
                e.cmd = std::stoi(v);
            else if (k == "part")
                e.part = std::stoi(v);
            else if (k == "hdr")
                e.hdr = v;
            else if (k == "payload")
                e.payload = std::stol(v);
            else if (k == "crc32")
                e.crc32 = static_cast<u32>(std::stoul(v, nullptr, 16));
            else if (k == "reply_data")
                e.reply_data = std::stoi(v);
            else if (k == "result")
                e.result = v;
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

u32 payload_crc32(std::span<const u8> data) {
    return ~calc_crc32(CRC32_SEED_INIT, data.data(), static_cast<u32>(data.size()));
}

}  // namespace e2e
