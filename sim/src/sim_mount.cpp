#include "sim_mount.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "sim_error.h"
#include "sim_fs.h"

namespace zsim {

namespace {

// Requests served at once; a slow write fault occupies one for its delay.
constexpr int SERVING_THREADS = 8;
constexpr std::size_t RECEIVE_BUF_SZ = (256 + 16) * 4096;

bool write_abort(const std::string& connections, dev_t dev) {
    const std::string path = connections + "/" + std::to_string(minor(dev)) + "/abort";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, "1", 1) == 1;
    ::close(fd);
    return ok;
}

// Aborts the FUSE connection of the mount with device `dev` through the
// fusectl file system, mounting a private instance when none is mounted.
void abort_connection(dev_t dev) {
    if (write_abort("/sys/fs/fuse/connections", dev))
        return;
    char tmpl[] = "/tmp/zelnic-sim-fusectl.XXXXXX";
    if (!::mkdtemp(tmpl))
        return;
    if (::mount("fusectl", tmpl, "fusectl", 0, nullptr) == 0) {
        write_abort(tmpl, dev);
        ::umount2(tmpl, MNT_DETACH);
    }
    ::rmdir(tmpl);
}

}  // namespace

struct sim_mount::server {
    fuse_session* se = nullptr;
    std::vector<std::thread> workers;
    std::mutex mu;
    std::condition_variable cv;
    std::size_t finished = 0;
    dev_t dev = 0;  // the mount's device: names its fusectl connection

    bool wait_finished(std::chrono::milliseconds grace) {
        std::unique_lock lock(mu);
        return cv.wait_for(lock, grace, [this] { return finished == workers.size(); });
    }

    // One of several threads taking requests off the session's device until
    // the connection ends (unmount or abort). Our own loop rather than
    // libfuse's: it never cancels threads, so shutting down is plain.
    void work() {
        // Our own buffer (libfuse reads into `mem` when it is set), sized
        // for the largest request the kernel sends: 256 pages of data plus
        // the request header.
        std::vector<char> mem(RECEIVE_BUF_SZ);
        struct {
            fuse_buf b{};
        } buf;
        buf.b.mem = mem.data();
        buf.b.size = mem.size();
        for (;;) {
            const int res = fuse_session_receive_buf(se, &buf.b);
            if (res == -EINTR)
                continue;
            if (res <= 0)
                break;
            fuse_session_process_buf(se, &buf.b);
        }
        std::lock_guard lock(mu);
        ++finished;
        cv.notify_all();
    }
};

sim_mount::sim_mount(const sim_config& cfg, const std::string& state_dir,
                     const std::string& mountpoint)
    : mountpoint_(mountpoint) {
    fs_ = std::make_unique<sim_fs>(cfg, state_dir, mountpoint);

    // allow_other: processes of any user inside the namespace see the tree;
    // default_permissions: the kernel checks the modes, as on sysfs.
    std::vector<std::string> words = {
        "zelnic-sim", "-o",
        "allow_other,default_permissions,fsname=zelnic-sim,subtype=zelnic-sim"};
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
    auto srv = std::make_unique<server>();
    srv->se = fuse_session_new(&args, sim_fs::ops(), sizeof(fuse_lowlevel_ops), fs_.get());
    fuse_opt_free_args(&args);
    if (!srv->se)
        throw sim_error("cannot create the FUSE session");
    if (fuse_session_mount(srv->se, mountpoint.c_str()) != 0) {
        fuse_session_destroy(srv->se);
        throw sim_error("cannot mount the simulated tree at " + mountpoint +
                        " (is /dev/fuse there, and are we root?)");
    }
    server* s = srv.get();
    {
        // Held so no worker counts itself finished before all are listed.
        std::lock_guard lock(s->mu);
        for (int i = 0; i < SERVING_THREADS; ++i)
            s->workers.emplace_back([s] { s->work(); });
    }
    server_ = std::move(srv);
    // Only now: the kernel holds every call on the mount until the serving
    // threads have answered its first request.
    struct stat st {};
    if (::stat(mountpoint.c_str(), &st) == 0)
        s->dev = st.st_dev;
}

bool sim_mount::stop(std::chrono::milliseconds grace) {
    if (!server_)
        return true;
    server* s = server_.get();
    // Detach the mount ourselves, with the session's device still open: with
    // nothing open on the mount that ends the connection, and every worker's
    // read of the device fails, which ends the worker. (fuse_session_unmount
    // would close the device under the workers' feet.) A file still held
    // open, by an orphan of the command say, keeps the connection alive:
    // abort it then, which fails that process's later calls.
    ::umount2(mountpoint_.c_str(), MNT_DETACH);
    bool done = s->wait_finished(grace);
    if (!done && s->dev) {
        abort_connection(s->dev);
        done = s->wait_finished(std::chrono::seconds(3));
    }
    if (!done) {
        // The workers may still touch the session and the tree: leave them
        // all to the end of the process.
        for (auto& t : s->workers)
            t.detach();
        (void)server_.release();
        (void)fs_.release();
        return false;
    }
    for (auto& t : s->workers)
        t.join();
    // The connection is gone: this only closes the device.
    fuse_session_unmount(s->se);
    fuse_session_destroy(s->se);
    server_.reset();
    return true;
}

sim_mount::~sim_mount() { stop(); }

}  // namespace zsim
