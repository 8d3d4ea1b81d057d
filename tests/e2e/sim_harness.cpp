#include "sim_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "image/crc32_info.h"

namespace e2e {

namespace {

// Folders the harness made on its own; removed when the test binary ends.
std::vector<std::unique_ptr<temp_dir>>& owned_dirs() {
    static std::vector<std::unique_ptr<temp_dir>> dirs;
    return dirs;
}

struct spawned {
    int status = -1;
    bool timed_out = false;
    std::string out, err;
};

// Runs argv with stdin from /dev/null and both outputs collected. On time-out
// the process gets SIGTERM (the simulator hands it to the command), then
// SIGKILL five seconds later.
spawned spawn(const std::vector<std::string>& words, double timeout_s) {
    spawned r;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<std::string> copy = words;
    std::vector<char*> argv;
    for (auto& w : copy)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out[1], 1);  // the copies drop close-on-exec, the originals keep it
        ::dup2(err[1], 2);
        ::execv(argv[0], argv.data());
        std::fprintf(stderr, "harness: cannot run %s\n", argv[0]);
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);

    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::duration_cast<clock::duration>(
                                             std::chrono::duration<double>(timeout_s));
    auto kill_at = clock::time_point::max();
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open_pipes = 2;
    int ws = 0;
    bool reaped = false;
    auto reaped_at = clock::time_point::max();
    while (open_pipes > 0) {
        const auto now = clock::now();
        if (!reaped && now >= deadline && !r.timed_out) {
            r.timed_out = true;
            ::kill(pid, SIGTERM);
            kill_at = now + std::chrono::seconds(5);
        }
        if (!reaped && now >= kill_at) {
            ::kill(pid, SIGKILL);
            kill_at = clock::time_point::max();
        }
        // An orphan of the command may keep the pipes open: once the
        // simulator has ended, take what comes within a second and stop.
        if (reaped && now >= reaped_at + std::chrono::seconds(1))
            break;
        if (!reaped && ::waitpid(pid, &ws, WNOHANG) == pid) {
            reaped = true;
            reaped_at = now;
        }
        if (::poll(fds, 2, 50) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[8192];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0)
            ::close(f.fd);
    if (!reaped)
        ::waitpid(pid, &ws, 0);
    if (r.timed_out) {
        r.err += "[harness] timed out after " + std::to_string(timeout_s) + " s\n";
        return r;
    }
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    return r;
}

}  // namespace

temp_dir::temp_dir() {
    std::string tmpl = "/tmp/kv7-e2e.XXXXXX";
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

temp_dir::~temp_dir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

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
    spawned s = spawn(words, timeout_s);
    r.status = s.status;
    r.out = std::move(s.out);
    r.err = std::move(s.err);
    r.timed_out = s.timed_out;
    return r;
}

sim_run run_tool(const std::vector<std::string>& args, const std::string& config,
                 const std::string& state_dir, double timeout_s) {
    std::vector<std::string> command = {tool_path()};
    command.insert(command.end(), args.begin(), args.end());
    return run_in_sim(command, config, state_dir, timeout_s);
}

std::string sim_default_config() {
    const spawned s = spawn({sim_path(), "default-config"}, 30);
    if (s.status != 0)
        throw std::runtime_error("zelnic-sim default-config failed: " + s.err);
    return s.out;
}

std::string flash_image_path(const std::string& state_dir, const std::string& card_addr) {
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

std::string request_log_path(const std::string& state_dir) { return state_dir + "/requests.log"; }

std::vector<logged_request> read_request_log(const std::string& state_dir) {
    std::vector<logged_request> entries;
    std::ifstream in(request_log_path(state_dir));
    for (std::string line; std::getline(in, line);) {
        logged_request e;
        e.line = line;
        std::istringstream words(line);
        for (std::string w; words >> w;) {
            const auto eq = w.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string k = w.substr(0, eq), v = w.substr(eq + 1);
            if (k == "iface")
                e.iface = v;
            else if (k == "cmd")
                e.cmd = std::stoi(v);
            else if (k == "part")
                e.part = std::stoi(v);
            else if (k == "req_data_bytes")
                e.req_data_bytes = std::stoi(v);
            else if (k == "reply_bytes")
                e.reply_bytes = std::stoi(v);
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
