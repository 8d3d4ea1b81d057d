// One network interface of a supported controller, as found in sysfs.
#pragma once

#include <list>
#include <optional>
#include <string>

#include "base/types.h"

constexpr int ETH_NAME_CAP = 100;  // at most 99 characters and the terminator

struct eth_dev {
    char name[ETH_NAME_CAP] = {};  // interface name; names it in sysfs paths
    u16 vendor = 0;
    u16 ddevice = 0;               // PCI device id
    std::string pci_slot;          // directory name under the driver: dddd:bb:dd.f
    u16 domain = 0;
    u8 bus = 0;
    u8 device = 0;
    u8 fun = 0;
    u32 bus_device_fun = 0;        // sort key: domain low byte, bus, device, function
    std::int32_t port_id = 0;      // from port_idx; -1 when unreadable
    std::int32_t linkup = 0;       // carrier reads 1
    std::optional<std::string> cur_mac_address;  // address text, at most 17 characters
};

// All discovered interfaces, in PCI-address then port order. Records never
// move once inserted, so other code may keep plain pointers to them.
using device_list = std::list<eth_dev>;
