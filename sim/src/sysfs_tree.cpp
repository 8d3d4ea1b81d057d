#include "sysfs_tree.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace zsim {

namespace {

std::string hex_id(u16 v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04x\n", v);
    return buf;
}

}  // namespace

sysfs_tree::sysfs_tree(const sim_config& cfg, const std::string& mnt,
                       const std::function<maintain_port*(const std::string&)>& port_of) {
    nodes_.resize(ROOT_INO);
    tree_node root;
    root.perm = 0755;
    nodes_.push_back(root);

    const std::uint64_t drivers = dir(ROOT_INO, "drivers");
    const std::uint64_t devices = dir(ROOT_INO, "devices");
    const std::uint64_t net = dir(ROOT_INO, "net");
    const std::uint64_t module = dir(dir(ROOT_INO, "module"), "zelnic");
    attr(module, "refcnt", "1\n");

    // Without the driver the functions and interfaces still exist, but no
    // zelnic folder binds them (0 is never a node).
    const std::uint64_t drv = cfg.driver_present ? dir(drivers, "zelnic") : 0;
    if (drv) {
        for (const char* ctl : {"bind", "unbind", "new_id", "remove_id", "uevent"})
            attr(drv, ctl, "", 0200);
        link(drv, "module", mnt + "/module/zelnic");
    }

    for (const auto& card : cfg.cards)
        for (const auto& fn : card.functions) {
            if (drv)
                link(drv, fn.addr, mnt + "/devices/" + fn.addr);
            const std::uint64_t d = dir(devices, fn.addr);
            attr(d, "vendor", hex_id(fn.vendor));
            attr(d, "device", hex_id(fn.device));
            attr(d, "class", "0x020000\n");
            if (!fn.has_net)
                continue;
            const std::uint64_t fnet = dir(d, "net");
            for (const auto& ifc : fn.ifaces) {
                const std::uint64_t i = dir(fnet, ifc.name);
                if (ifc.address)
                    attr(i, "address", format_mac(*ifc.address) + "\n");
                // sysfs refuses the carrier of a down interface with EINVAL.
                attr(i, "carrier", ifc.carrier ? "1\n" : "", 0444, ifc.carrier ? 0 : EINVAL);
                attr(i, "operstate", ifc.carrier ? "up\n" : "down\n");
                attr(i, "port_idx", ifc.port_unreadable ? "" : std::to_string(ifc.port) + "\n",
                     0444, ifc.port_unreadable ? EINVAL : 0);
                tree_node m;
                m.kind = node_kind::maintain;
                m.name = "maintain";
                m.perm = 0600;
                m.port = port_of(ifc.name);
                add(i, m);
                link(net, ifc.name, mnt + "/devices/" + fn.addr + "/net/" + ifc.name);
            }
        }
    for (const auto& s : cfg.strays) {
        if (!drv)
            break;
        if (s.is_dir)
            dir(drv, s.name);
        else
            attr(drv, s.name, "stray\n");
    }
    apply_order(cfg.order);
}

std::uint64_t sysfs_tree::add(std::uint64_t parent, tree_node n) {
    n.parent = parent;
    const std::uint64_t ino = nodes_.size();
    nodes_.push_back(std::move(n));
    nodes_[parent].children.push_back(ino);
    return ino;
}

std::uint64_t sysfs_tree::dir(std::uint64_t parent, const std::string& name) {
    tree_node n;
    n.name = name;
    n.perm = 0755;
    return add(parent, n);
}

void sysfs_tree::attr(std::uint64_t parent, const std::string& name, std::string text, mode_t perm,
                      int read_errno) {
    tree_node n;
    n.kind = node_kind::attr;
    n.name = name;
    n.text = std::move(text);
    n.perm = perm;
    n.read_errno = read_errno;
    add(parent, n);
}

void sysfs_tree::link(std::uint64_t parent, const std::string& name, std::string target) {
    tree_node n;
    n.kind = node_kind::link;
    n.name = name;
    n.perm = 0777;
    n.link_target = std::move(target);
    add(parent, n);
}

void sysfs_tree::apply_order(listing_order order) {
    for (auto& n : nodes_) {
        if (order == listing_order::reverse)
            std::reverse(n.children.begin(), n.children.end());
        else if (order == listing_order::sorted)
            std::sort(n.children.begin(), n.children.end(),
                      [this](std::uint64_t a, std::uint64_t b) {
                          return nodes_[a].name < nodes_[b].name;
                      });
    }
}

const tree_node* sysfs_tree::get(std::uint64_t ino) const {
    return ino >= ROOT_INO && ino < nodes_.size() ? &nodes_[ino] : nullptr;
}

std::optional<std::uint64_t> sysfs_tree::lookup(std::uint64_t parent,
                                                const std::string& name) const {
    const tree_node* p = get(parent);
    if (!p)
        return std::nullopt;
    for (std::uint64_t c : p->children)
        if (nodes_[c].name == name)
            return c;
    return std::nullopt;
}

}  // namespace zsim
