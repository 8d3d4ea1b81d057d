#include "sim_harness.h"

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>


using test_support::process_result;
using test_support::run_process;

namespace e2e {

const char* tool_path() { return KV7_TOOL_PATH; }
const char* zelvoctl_path() { return ZELVOCTL_PATH; }
const char* sim_path() { return ZELNIC_SIM_PATH; }

std::string history_in(const std::string& dir) { return dir.empty() ? "/dev/null" : dir + "/zelvoctl-history.jsonl"; }

std::vector<std::string> zelvoctl_command(const std::string& dir) {
    return {zelvoctl_path(), "--history", history_in(dir)};
}

sim_run run_in_sim(const std::vector<std::string>& command, const std::string& config,
                   const std::string& state_dir, double timeout_s) {
    // Folders the harness made on its own; removed when the test binary ends.
    static std::vector<std::unique_ptr<temp_dir>> owned_dirs;
    sim_run r;
    r.state_dir = state_dir;
    if (r.state_dir.empty())
        r.state_dir = owned_dirs.emplace_back(std::make_unique<temp_dir>())->path();
    std::vector<std::string> words = {sim_path(), "run", "--state", r.state_dir};
    temp_dir cfg_dir;
    if (!config.empty()) {
        std::ofstream(cfg_dir.path() + "/sim.conf") << config;
        words.insert(words.end(), {"--config", cfg_dir.path() + "/sim.conf"});
    }
    words.push_back("--");
    words.insert(words.end(), command.begin(), command.end());
    process_result s = run_process(words, timeout_s);
    r.status = s.status;
    r.out = std::move(s.out);
    r.err = std::move(s.err);
    return r;
}

std::string sim_default_config() {
    const process_result s = run_process({sim_path(), "default-config"}, 30);
    if (s.status != 0)
        throw std::runtime_error("zelnic-sim default-config failed: " + s.err);
    return s.out;
}

std::vector<logged_request> read_request_log(const std::string& state_dir) {
    std::vector<logged_request> entries;
    std::ifstream in(zsim::request_log_path(state_dir));
    for (std::string line; std::getline(in, line);) {
        std::map<std::string, std::string> f;  // key=value words
        std::istringstream words(line);
        for (std::string w; words >> w;)
            if (const auto eq = w.find('='); eq != std::string::npos)
                f[w.substr(0, eq)] = w.substr(eq + 1);
        // A field the line lacks makes std::sto* throw: a malformed log fails the test.
        entries.push_back({std::stoi(f["cmd"]), std::stoi(f["part"]), f["hdr"], std::stol(f["payload"]),
                           static_cast<u32>(std::stoul(f["crc32"], nullptr, 16)), std::stol(f["reply_data"]),
                           f["result"], f["iface"]});
    }
    return entries;
}

}  // namespace e2e
