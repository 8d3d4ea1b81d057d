// Discovery of the supported network interfaces through the sysfs directory
// of the `zelnic` driver, and the ordered registry that holds them.
#pragma once

#include <string>

#include "base/types.h"
#include "eth_dev.h"

constexpr char ZELNIC_DRIVER_DIR[] = "/sys/bus/pci/drivers/zelnic";

// 1 when `device` is a virtual-function device id (never listed), else 0.
int check_vf(u32 device);

// Links `dev` in at its ordered place: by PCI address, then by port index,
// -1 (no port_idx) before 0; of two equal keys the later one stands first.
// Always 0.
int zelvo_devices_add_dev(device_list& zelvo_devices, eth_dev dev);

// Adds one record per interface of every supported PCI function bound to the
// driver below `driver_dir`; `trace3` prints the -vvv traces. Unreadable
// attributes never stop the scan. Always 0. The tool always passes the real
// driver path; other roots serve tests.
int list_all_zelvo_devices(device_list& zelvo_devices, bool trace3,
                           const std::string& driver_dir = ZELNIC_DRIVER_DIR);
