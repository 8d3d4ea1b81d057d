#include "namespace_run.h"

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "backup_card.h"
#include "sim_error.h"
#include "sim_mount.h"

namespace zsim {

namespace {

// A bind mount over a kernel folder, detached again when it goes.
class bind_mount {
public:
    bind_mount(const std::string& from, const std::string& onto) : onto_(onto) {
        if (::mount(from.c_str(), onto.c_str(), nullptr, MS_BIND, nullptr) != 0)
            throw sim_error(errno_text("cannot bind " + from + " over " + onto));
    }
    ~bind_mount() { ::umount2(onto_.c_str(), MNT_DETACH); }
    bind_mount(const bind_mount&) = delete;
    bind_mount& operator=(const bind_mount&) = delete;

private:
    std::string onto_;
};

// A fresh empty folder under /tmp, removed again when it goes.
class temp_folder {
public:
    explicit temp_folder(const char* prefix) {
        std::string tmpl = std::string("/tmp/") + prefix + ".XXXXXX";
        if (!::mkdtemp(tmpl.data()))
            throw sim_error(errno_text("cannot create a folder in /tmp"));
        path_ = tmpl;
    }
    ~temp_folder() {
        if (remove_)
            ::rmdir(path_.c_str());
    }
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;
    const std::string& path() const { return path_; }
    void keep() { remove_ = false; }

private:
    std::string path_;
    bool remove_ = true;
};

std::string state_folder(const run_options& opts) {
    if (opts.state_dir) {
        if (::mkdir(opts.state_dir->c_str(), 0755) != 0 && errno != EEXIST)
            throw sim_error(errno_text("cannot create state folder " + *opts.state_dir));
        struct stat st {};
        if (::stat(opts.state_dir->c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            throw sim_error("state folder " + *opts.state_dir + " is not a folder");
        return *opts.state_dir;
    }
    temp_folder state("zelnic-sim-state");
    state.keep();
    // stderr: the command's stdout stays exactly what the command printed.
    std::fprintf(stderr, "zelnic-sim: flash images and request log in %s\n",
                 state.path().c_str());
    return state.path();
}

// Write of a fixed text from the forked child, where only async-signal-safe
// calls are allowed.
void child_say(const char* s) {
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, s, std::strlen(s));
}

[[noreturn]] void exec_child(const std::vector<char*>& argv, const sigset_t& old_mask,
                             pid_t parent) {
    // The command must not outlive the simulator that serves its files.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(EXIT_SIM_FAILED);
    ::sigprocmask(SIG_SETMASK, &old_mask, nullptr);
    ::execvp(argv[0], argv.data());
    const int err = errno;
    child_say("zelnic-sim: cannot run ");
    child_say(argv[0]);
    child_say(": ");
    child_say(std::strerror(err));
    child_say("\n");
    ::_exit(err == ENOENT ? EXIT_NOT_FOUND : EXIT_CANNOT_EXEC);
}

}  // namespace

int shell_status(int ws) {
    if (WIFEXITED(ws))
        return WEXITSTATUS(ws);
    if (WIFSIGNALED(ws))
        return 128 + WTERMSIG(ws);
    return EXIT_SIM_FAILED;
}

run_outcome run_in_namespace(const run_options& opts) {
    if (opts.command.empty())
        throw sim_error("run: no command given");
    if (::geteuid() != 0)
        throw sim_error(
            "run needs root: it mounts a FUSE file system inside a private mount namespace "
            "(try sudo)");
    const sim_config cfg = !opts.backup_dirs.empty() ? config_from_backups(opts.backup_dirs)
                           : opts.config_path      ? load_config_file(*opts.config_path)
                                                   : default_config();
    const std::string state = state_folder(opts);

    if (::unshare(CLONE_NEWNS) != 0)
        throw sim_error(errno_text("cannot create a private mount namespace"));
    // Nothing mounted from here on may reach the namespace we came from.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        throw sim_error(errno_text("cannot make the mount namespace private"));

    // Signals that would end us are handed to the command instead; SIGCHLD
    // tells its end. Blocked before any thread starts, so all inherit that.
    ::signal(SIGCHLD, SIG_DFL);
    sigset_t waited, old_mask;
    sigemptyset(&waited);
    for (int sig : {SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&waited, sig);
    ::sigprocmask(SIG_BLOCK, &waited, &old_mask);

    temp_folder mnt("zelnic-sim-mnt");
    sim_mount served(cfg, state, mnt.path());
    run_outcome out;
    {
        bind_mount drivers(mnt.path() + "/drivers", REAL_DRIVERS_DIR);
        bind_mount net(mnt.path() + "/net", REAL_NET_DIR);

        std::vector<std::string> words = opts.command;
        std::vector<char*> argv;
        for (auto& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        std::fflush(nullptr);
        const pid_t parent = ::getpid();
        const pid_t child = ::fork();
        if (child < 0)
            throw sim_error(errno_text("cannot fork"));
        if (child == 0)
            exec_child(argv, old_mask, parent);

        int ws = 0;
        for (;;) {
            siginfo_t info{};
            const int sig = ::sigwaitinfo(&waited, &info);
            if (sig < 0)
                continue;  // EINTR
            if (sig != SIGCHLD) {
                ::kill(child, sig);
                continue;
            }
            const pid_t done = ::waitpid(child, &ws, WNOHANG);
            if (done == child)
                break;
        }
        out.status = shell_status(ws);
    }
    if (!served.stop()) {
        std::fprintf(stderr, "zelnic-sim: a process still holds the simulated files open\n");
        out.abandon = true;
    }
    ::sigprocmask(SIG_SETMASK, &old_mask, nullptr);
    return out;
}

}  // namespace zsim
