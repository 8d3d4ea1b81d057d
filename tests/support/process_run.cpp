#include "process_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace test_support {

temp_dir::temp_dir() {
    std::string tmpl = "/tmp/kv7-test.XXXXXX";
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

temp_dir::~temp_dir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

process_result run_process(const std::vector<std::string>& words, double timeout_s, uid_t as_uid) {
    process_result r;
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
        if (as_uid != 0 && (::setgid(as_uid) != 0 || ::setuid(as_uid) != 0)) {
            std::fprintf(stderr, "cannot become user %u\n", static_cast<unsigned>(as_uid));
            ::_exit(126);
        }
        ::execv(argv[0], argv.data());
        std::fprintf(stderr, "cannot run %s\n", argv[0]);
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
        r.err += "timed out after " + std::to_string(timeout_s) + " s\n";
        return r;
    }
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    return r;
}

}  // namespace test_support
