#include "device_scan.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

#include "port_count.h"
#include "sysfs_file.h"
#include "base/message_sink.h"

namespace {

constexpr char SCAN_FN[] = "list_all_zelvo_devices";

// Characters of the address text kept: the colon form of a 6-byte address.
constexpr std::size_t MAC_TEXT_LEN = 17;

struct dir_closer {
    void operator()(DIR* d) const { ::closedir(d); }
};
using dir_ptr = std::unique_ptr<DIR, dir_closer>;

dir_ptr open_dir(const std::string& path) { return dir_ptr(::opendir(path.c_str())); }

bool is_dot_entry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool is_directory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Fills the PCI address fields from a slot name such as "0000:03:00.1";
// fields the text does not supply stay 0.
void parse_pci_slot(eth_dev& dev) {
    unsigned domain = 0, bus = 0, device = 0, fun = 0;
    std::sscanf(dev.pci_slot.c_str(), "%4x:%2x:%2x.%u", &domain, &bus, &device, &fun);
    dev.domain = static_cast<u16>(domain);
    dev.bus = static_cast<u8>(bus);
    dev.device = static_cast<u8>(device);
    dev.fun = static_cast<u8>(fun);
    // Only the low byte of the domain fits the key; see the insertion rule.
    dev.bus_device_fun = (u32{static_cast<u8>(dev.domain)} << 24) | (u32{dev.bus} << 16) |
                         (u32{dev.device} << 8) | dev.fun;
}

// One record per interface in the function's net directory.
void add_interfaces(device_list& zelvo_devices, const std::string& net_path,
                    const char* pci_entry, u32 vendor, u32 device) {
    const dir_ptr net_dir = open_dir(net_path);
    if (!net_dir) {
        messages().print("Error: canot open:%s\n", net_path.c_str());
        return;
    }
    while (const dirent* ent = ::readdir(net_dir.get())) {
        if (is_dot_entry(ent->d_name))
            continue;
        // The record holds 99 characters. A longer name (Linux makes none) is
        // skipped rather than cut: a cut name would address the wrong files.
        if (std::strlen(ent->d_name) >= sizeof(eth_dev::name))
            continue;

        eth_dev dev;
        dev.vendor = static_cast<u16>(vendor);
        dev.ddevice = static_cast<u16>(device);
        std::strcpy(dev.name, ent->d_name);
        dev.pci_slot = pci_entry;
        parse_pci_slot(dev);

        const std::string if_path = net_path + "/" + ent->d_name;
        dev.linkup = read_file_int(if_path + "/carrier") == 1 ? 1 : 0;
        if (const auto address = read_file(if_path + "/address")) {
            // The text as read, cut after the colon form of a 6-byte address.
            const std::string text(address->begin(), address->end());
            dev.cur_mac_address = text.substr(0, std::min(text.find('\0'), MAC_TEXT_LEN));
        }
        dev.port_id = static_cast<std::int32_t>(read_file_int(if_path + "/port_idx"));
        zelvo_devices_add_dev(zelvo_devices, std::move(dev));
    }
}

// Looks at one entry of the driver directory; bound PCI functions are links
// to directories, control files and the module link fall out here.
void scan_pci_entry(device_list& zelvo_devices, bool trace3, const std::string& driver_dir,
                    const char* entry) {
    const std::string pci_path = driver_dir + "/" + entry;
    if (trace3)
        messages().print("    %s\n", pci_path.c_str());
    if (!is_directory(pci_path))
        return;

    const std::string vendor_path = pci_path + "/vendor";
    const u32 vendor = read_file_hex(vendor_path);
    if (trace3) {
        messages().print("  %s\n", vendor_path.c_str());
        messages().print("     vendor:0x%x\n", vendor);
    }
    if (vendor != ZELVO_VENDOR_ID)
        return;

    const u32 device = read_file_hex(pci_path + "/device");
    if (trace3)
        messages().print("     device:0x%x\n", device);
    if (check_vf(device))
        return;

    add_interfaces(zelvo_devices, pci_path + "/net", entry, vendor, device);
}

}  // namespace

int check_vf(u32 device) {
    switch (device) {
    case 0x8309:
    case 0x1080:
    case 0x1081:
        return 1;
    default:
        return 0;
    }
}

int zelvo_devices_add_dev(device_list& zelvo_devices, eth_dev dev) {
    // Comparing the domain first keeps domains of 256 and above (whose key
    // byte wraps) behind lower ones they would otherwise overtake.
    auto goes_before = [&dev](const eth_dev& o) {
        if (dev.domain > o.domain)
            return false;
        if (dev.bus_device_fun != o.bus_device_fun)
            return dev.bus_device_fun < o.bus_device_fun;
        return dev.port_id <= o.port_id;
    };
    auto pos = zelvo_devices.begin();
    while (pos != zelvo_devices.end() && !goes_before(*pos))
        ++pos;
    zelvo_devices.insert(pos, std::move(dev));
    return 0;
}

int list_all_zelvo_devices(device_list& zelvo_devices, bool trace3,
                           const std::string& driver_dir) {
    if (trace3)
        messages().print("[%s] enter \n", SCAN_FN);

    // The driver directory is the only place scanned; a missing one means
    // the driver is not loaded.
    const dir_ptr dir = open_dir(driver_dir);
    if (!dir) {
        if (trace3)
            messages().print("  faild to open:%s\n", driver_dir.c_str());
    } else {
        if (trace3)
            messages().print("  open:%s\n", driver_dir.c_str());
        while (const dirent* ent = ::readdir(dir.get())) {
            if (!is_dot_entry(ent->d_name))
                scan_pci_entry(zelvo_devices, trace3, driver_dir, ent->d_name);
        }
    }

    if (trace3)
        messages().print("[%s] quit\n", SCAN_FN);
    if (!dir)
        messages().write("!! zelvo driver is not installed! please install \n\n");
    return 0;
}
