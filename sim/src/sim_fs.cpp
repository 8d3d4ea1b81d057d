#include "sim_fs.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

#include "sim_error.h"
#include "synthetic_image.h"

namespace zsim {

namespace {

// The tree never changes while mounted, so the kernel may cache freely.
constexpr double CACHE_SECONDS = 60.0;
constexpr off_t ATTR_PAGE = 4096;  // sysfs reports one page for every attribute

}  // namespace

std::vector<u8> initial_flash(const card_cfg& card) {
    const u32 size = map_for(card.layout).flash_size;
    switch (card.preload) {
    case flash_preload::erased:
        return std::vector<u8>(size, 0xff);
    case flash_preload::file: {
        std::ifstream in(card.preload_path, std::ios::binary);
        if (!in)
            throw sim_error(errno_text("card " + card.addr + ": cannot read " + card.preload_path));
        std::vector<u8> img((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (img.size() > size)
            throw sim_error("card " + card.addr + ": " + card.preload_path + " has " +
                            std::to_string(img.size()) + " bytes, more than the flash's " +
                            std::to_string(size));
        img.resize(size, 0xff);
        return img;
    }
    case flash_preload::image:
        if (card.image.size() != size)
            throw sim_error("card " + card.addr + ": a flash image of " + std::to_string(card.image.size()) +
                            " bytes, not " + std::to_string(size));
        return card.image;
    case flash_preload::factory:
        break;
    }
    return factory_flash(card);
}

sim_fs::sim_fs(const sim_config& cfg, const std::string& state_dir, const std::string& mountpoint)
    : cfg_(cfg), mounted_at_(std::time(nullptr)) {
    log_ = std::make_unique<request_log>(request_log_path(state_dir));
    std::map<std::string, maintain_port*> by_name;
    for (const auto& c : cfg_.cards) {
        auto card = std::make_unique<card_state>();
        card->cfg = &c;
        card->map = &map_for(c.layout);
        card->flash = std::make_unique<flash_store>(flash_file_path(state_dir, c.addr),
                                                    card->map->flash_size,
                                                    [&c] { return initial_flash(c); });
        for (const auto& fn : c.functions)
            for (const auto& ifc : fn.ifaces) {
                auto port = std::make_unique<maintain_port>();
                port->iface = ifc.name;
                port->card = card.get();
                port->faults = ifc.faults;
                by_name[ifc.name] = port.get();
                ports_.push_back(std::move(port));
            }
        cards_.push_back(std::move(card));
    }
    tree_ = std::make_unique<sysfs_tree>(
        cfg_, mountpoint, [&by_name](const std::string& n) { return by_name.at(n); });
}

struct stat sim_fs::attr_of(fuse_ino_t ino, const tree_node& n) const {
    struct stat st {};
    st.st_ino = ino;
    st.st_uid = 0;
    st.st_gid = 0;
    st.st_atime = st.st_mtime = st.st_ctime = mounted_at_;
    switch (n.kind) {
    case node_kind::dir:
        st.st_mode = S_IFDIR | n.perm;
        st.st_nlink = 2;
        break;
    case node_kind::link:
        st.st_mode = S_IFLNK | n.perm;
        st.st_nlink = 1;
        st.st_size = static_cast<off_t>(n.link_target.size());
        break;
    case node_kind::attr:
    case node_kind::maintain:
        st.st_mode = S_IFREG | n.perm;
        st.st_nlink = 1;
        st.st_size = ATTR_PAGE;
        break;
    }
    st.st_blksize = 4096;
    return st;
}

void sim_fs::reply_entry(fuse_req_t req, fuse_ino_t ino) const {
    fuse_entry_param e{};
    e.ino = ino;
    e.generation = 1;
    e.attr = attr_of(ino, *tree_->get(ino));
    e.attr_timeout = CACHE_SECONDS;
    e.entry_timeout = CACHE_SECONDS;
    fuse_reply_entry(req, &e);
}

void sim_fs::op_lookup(fuse_req_t req, fuse_ino_t parent, const char* name) {
    const sim_fs& fs = of(req);
    const auto ino = fs.tree_->lookup(parent, name);
    if (!ino) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    fs.reply_entry(req, *ino);
}

void sim_fs::op_getattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info*) {
    const sim_fs& fs = of(req);
    const tree_node* n = fs.node(req, ino);
    if (!n)
        return;
    const struct stat st = fs.attr_of(ino, *n);
    fuse_reply_attr(req, &st, CACHE_SECONDS);
}

void sim_fs::op_setattr(fuse_req_t req, fuse_ino_t ino, struct stat*, int, fuse_file_info* fi) {
    // sysfs ignores truncation (an O_TRUNC open, as `echo x > bind` makes);
    // nothing else can be changed either.
    op_getattr(req, ino, fi);
}

void sim_fs::op_readlink(fuse_req_t req, fuse_ino_t ino) {
    const tree_node* n = of(req).tree_->get(ino);
    if (!n || n->kind != node_kind::link) {
        fuse_reply_err(req, EINVAL);
        return;
    }
    fuse_reply_readlink(req, n->link_target.c_str());
}

void sim_fs::op_opendir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    const tree_node* n = of(req).tree_->get(ino);
    if (!n) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    if (n->kind != node_kind::dir) {
        fuse_reply_err(req, ENOTDIR);
        return;
    }
    fuse_reply_open(req, fi);
}

void sim_fs::op_readdir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info*) {
    const sim_fs& fs = of(req);
    const tree_node* n = fs.tree_->get(ino);
    if (!n || n->kind != node_kind::dir) {
        fuse_reply_err(req, ENOTDIR);
        return;
    }
    // Entry k (0 ".", 1 "..", then the children) carries offset k + 1, the
    // offset from which the next call resumes.
    std::vector<char> buf(size);
    std::size_t used = 0;
    const std::size_t total = n->children.size() + 2;
    for (std::size_t k = static_cast<std::size_t>(off); k < total; ++k) {
        struct stat st {};
        const char* name;
        if (k < 2) {
            name = k == 0 ? "." : "..";
            st.st_ino = k == 0 ? ino : (n->parent ? n->parent : ino);
            st.st_mode = S_IFDIR;
        } else {
            const std::uint64_t c = n->children[k - 2];
            const tree_node& child = *fs.tree_->get(c);
            name = child.name.c_str();
            st = fs.attr_of(c, child);
        }
        const std::size_t need = fuse_add_direntry(req, buf.data() + used, size - used, name, &st,
                                                   static_cast<off_t>(k + 1));
        if (need > size - used)
            break;
        used += need;
    }
    fuse_reply_buf(req, buf.data(), used);
}

void sim_fs::op_open(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
    sim_fs& fs = of(req);
    const tree_node* n = fs.node(req, ino);
    if (!n)
        return;
    const int acc = fi->flags & O_ACCMODE;
    const bool wants_read = acc == O_RDONLY || acc == O_RDWR;
    const bool wants_write = acc == O_WRONLY || acc == O_RDWR;
    // Every read and write must reach the handlers: attributes answer short
    // texts (or errors) whatever size stat reports, and maintain is a channel.
    fi->direct_io = 1;
    fi->keep_cache = 0;
    if (n->kind == node_kind::attr) {
        if ((wants_read && !(n->perm & 0444)) || (wants_write && !(n->perm & 0222))) {
            fuse_reply_err(req, EACCES);
            return;
        }
        fi->fh = 0;
        fuse_reply_open(req, fi);
        return;
    }
    if (n->kind != node_kind::maintain) {
        fuse_reply_err(req, EISDIR);
        return;
    }
    {
        std::lock_guard lock(n->port->mu);
        if (n->port->faults.no_open) {
            fuse_reply_err(req, EACCES);
            return;
        }
    }
    {
        std::lock_guard lock(fs.files_mu_);
        fi->fh = fs.next_fh_++;
        fs.files_[fi->fh] = std::make_shared<open_file>();
    }
    if (fuse_reply_open(req, fi) != 0) {
        std::lock_guard lock(fs.files_mu_);
        fs.files_.erase(fi->fh);  // the opener is gone: no release will come
    }
}

void sim_fs::op_read(fuse_req_t req, fuse_ino_t ino, size_t size, off_t off, fuse_file_info* fi) {
    sim_fs& fs = of(req);
    const tree_node* n = fs.node(req, ino);
    if (!n)
        return;
    if (n->kind == node_kind::attr) {
        if (n->read_errno) {
            fuse_reply_err(req, n->read_errno);
            return;
        }
        const std::size_t start = std::min<std::size_t>(static_cast<std::size_t>(off), n->text.size());
        fuse_reply_buf(req, n->text.data() + start, std::min(size, n->text.size() - start));
        return;
    }
    const std::shared_ptr<open_file> f = fs.file(req, fi->fh);
    if (!f)
        return;
    std::lock_guard lock(f->mu);
    const std::span<const u8> bytes = maintain_read(f->h, static_cast<u64>(off), size);
    fuse_reply_buf(req, reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void sim_fs::op_write(fuse_req_t req, fuse_ino_t ino, const char* buf, size_t size, off_t off,
                      fuse_file_info* fi) {
    sim_fs& fs = of(req);
    const tree_node* n = fs.node(req, ino);
    if (!n)
        return;
    if (n->kind == node_kind::attr) {
        fuse_reply_write(req, size);  // control files accept and ignore
        return;
    }
    const std::shared_ptr<open_file> f = fs.file(req, fi->fh);
    if (!f)
        return;
    std::lock_guard lock(f->mu);
    const long r = maintain_write(*n->port, f->h, static_cast<u64>(off),
                                  std::span<const u8>(reinterpret_cast<const u8*>(buf), size),
                                  *fs.log_);
    if (r < 0)
        fuse_reply_err(req, static_cast<int>(-r));
    else
        fuse_reply_write(req, static_cast<size_t>(r));
}

const tree_node* sim_fs::node(fuse_req_t req, fuse_ino_t ino) const {
    const tree_node* n = tree_->get(ino);
    if (!n)
        fuse_reply_err(req, ENOENT);
    return n;
}

std::shared_ptr<sim_fs::open_file> sim_fs::file(fuse_req_t req, std::uint64_t fh) {
    std::lock_guard lock(files_mu_);
    const auto it = files_.find(fh);
    if (it == files_.end()) {
        fuse_reply_err(req, EBADF);
        return nullptr;
    }
    return it->second;
}

void sim_fs::op_release(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
    sim_fs& fs = of(req);
    if (fi->fh) {
        std::lock_guard lock(fs.files_mu_);
        fs.files_.erase(fi->fh);
    }
    fuse_reply_err(req, 0);
}

const fuse_lowlevel_ops* sim_fs::ops() {
    // No lock operations: the kernel then keeps POSIX record locks on these
    // files itself, which is how sysfs files behave too.
    static const fuse_lowlevel_ops table = [] {
        fuse_lowlevel_ops o{};
        o.lookup = op_lookup;
        o.getattr = op_getattr;
        o.setattr = op_setattr;
        o.readlink = op_readlink;
        o.opendir = op_opendir;
        o.readdir = op_readdir;
        o.open = op_open;
        o.read = op_read;
        o.write = op_write;
        o.release = op_release;
        return o;
    }();
    return &table;
}

}  // namespace zsim
