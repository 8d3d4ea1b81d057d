// The simulator's state behind the FUSE operations: the tree, the cards'
// flash, the maintain ports, the request log and the open maintain files.
#pragma once

#include <fuse_lowlevel.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "maintain_port.h"
#include "request_log.h"
#include "sim_config.h"
#include "sysfs_tree.h"

namespace zsim {

class sim_fs {
public:
    sim_fs(const sim_config& cfg, const std::string& state_dir, const std::string& mountpoint);

    static const fuse_lowlevel_ops* ops();

private:
    struct open_file {
        std::mutex mu;  // one request at a time per open file
        maintain_handle h;
    };

    static sim_fs& of(fuse_req_t req) { return *static_cast<sim_fs*>(fuse_req_userdata(req)); }
    struct stat attr_of(fuse_ino_t ino, const tree_node& n) const;
    void reply_entry(fuse_req_t req, fuse_ino_t ino) const;
    // The node or open file a request names; when there is none the request
    // has been answered with ENOENT or EBADF.
    const tree_node* node(fuse_req_t req, fuse_ino_t ino) const;
    std::shared_ptr<open_file> file(fuse_req_t req, std::uint64_t fh);

    static void op_lookup(fuse_req_t req, fuse_ino_t parent, const char* name);
    static void op_getattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi);
    static void op_setattr(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int to_set,
                           fuse_file_info* fi);
    static void op_readlink(fuse_req_t req, fuse_ino_t ino);
    static void op_opendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi);
    static void op_readdir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off,
                           fuse_file_info* fi);
    static void op_open(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi);
    static void op_read(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info* fi);
    static void op_write(fuse_req_t req, fuse_ino_t ino, const char* buf, size_t size, off_t off,
                         fuse_file_info* fi);
    static void op_release(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi);

    sim_config cfg_;
    std::vector<std::unique_ptr<card_state>> cards_;
    std::vector<std::unique_ptr<maintain_port>> ports_;
    std::unique_ptr<request_log> log_;
    std::unique_ptr<sysfs_tree> tree_;
    time_t mounted_at_;

    std::mutex files_mu_;
    // Shared: a release may arrive while the handler of the last read is
    // still unwinding after its reply, and must not free the file under it.
    std::map<std::uint64_t, std::shared_ptr<open_file>> files_;
    std::uint64_t next_fh_ = 1;
};

// The flash image a fresh card starts with, as its config asks.
std::vector<u8> initial_flash(const card_cfg& card);

}  // namespace zsim
