// The static file tree the simulator serves, laid out as the kernel's sysfs
// shows a bound PCI driver and its network interfaces:
//   drivers/zelnic/{bind,unbind,new_id,remove_id,uevent}, module -> module/zelnic,
//   drivers/zelnic/ADDR -> MNT/devices/ADDR (absolute links), stray entries
//   devices/ADDR/{vendor,device,class}, devices/ADDR/net/NAME/{address,carrier,port_idx,operstate,maintain}
//   net/NAME -> MNT/devices/ADDR/net/NAME
//   module/zelnic/refcnt
// MNT is the mount point, so the links resolve wherever `drivers` and `net`
// are bind-mounted, as long as MNT stays mounted.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim_config.h"

namespace zsim {

struct maintain_port;

enum class node_kind { dir, link, attr, maintain };

struct tree_node {
    node_kind kind = node_kind::dir;
    std::string name;
    std::uint64_t parent = 0;
    std::vector<std::uint64_t> children;  // in listing order
    std::string link_target;
    std::string text;            // attribute content
    int read_errno = 0;          // attribute read fails with this errno
    mode_t perm = 0;             // permission bits
    maintain_port* port = nullptr;
};

constexpr std::uint64_t ROOT_INO = 1;

class sysfs_tree {
public:
    // `port_of` gives the maintain port of an interface by name.
    sysfs_tree(const sim_config& cfg, const std::string& mountpoint,
               const std::function<maintain_port*(const std::string&)>& port_of);

    const tree_node* get(std::uint64_t ino) const;
    std::optional<std::uint64_t> lookup(std::uint64_t parent, const std::string& name) const;

private:
    std::uint64_t add(std::uint64_t parent, tree_node n);
    std::uint64_t dir(std::uint64_t parent, const std::string& name);
    void attr(std::uint64_t parent, const std::string& name, std::string text, mode_t perm = 0444,
              int read_errno = 0);
    void link(std::uint64_t parent, const std::string& name, std::string target);
    void apply_order(listing_order order);

    std::vector<tree_node> nodes_;  // index = inode number; 0 unused
};

}  // namespace zsim
