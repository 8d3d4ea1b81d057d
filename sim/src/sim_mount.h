// The simulated driver tree as a mounted FUSE file system, served by its own
// threads for as long as the object lives.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "sim_config.h"

struct fuse_session;

namespace zsim {

class sim_fs;

class sim_mount {
public:
    // Opens (or creates) the cards' flash images and the request log in
    // `state_dir`, mounts the tree at `mountpoint` and starts serving.
    // Throws sim_error.
    sim_mount(const sim_config& cfg, const std::string& state_dir, const std::string& mountpoint);
    ~sim_mount();
    sim_mount(const sim_mount&) = delete;
    sim_mount& operator=(const sim_mount&) = delete;

    // Unmounts and ends serving. When a process still holds a file open
    // after `grace`, the connection is aborted; false when even that did not
    // end the serving threads (they are then left to the process's exit).
    bool stop(std::chrono::milliseconds grace = std::chrono::milliseconds(500));

    const std::string& mountpoint() const { return mountpoint_; }

private:
    struct server;
    std::string mountpoint_;
    std::unique_ptr<sim_fs> fs_;
    std::unique_ptr<server> server_;
};

}  // namespace zsim
