#include "device_select.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "same_card.h"
#include "base/message_sink.h"

namespace {

// Header, rule and rows share these column widths; the rows' PCI address is
// wider than its heading and the columns are deliberately not re-aligned.
constexpr char TABLE_HEAD_FMT[] = " %-3s %-5s %-15s %-10s %-10s %-18s %s\n";
constexpr char TABLE_ROW_FMT[] = " %-3d port%d %-15s %04x:%04x %04x:%02x:%02x.%u %-18s %s\n";

// Shown in the mac-addr column when the interface gave no address text.
constexpr char NO_ADDRESS[] = "-";

}  // namespace

int print_deivces(const device_list& zelvo_devices) {
    messages().write("======= zelvo net devices =======\n");
    if (zelvo_devices.empty())
        return 0;
    messages().print(TABLE_HEAD_FMT, "idx", "port", "name", "device_id", "pci-slot", "mac-addr",
                "link");
    messages().print(TABLE_HEAD_FMT, "--", "----", "----", "--------", "------", "-------", "---");
    int idx = 0;
    for (const eth_dev& d : zelvo_devices) {
        messages().print(TABLE_ROW_FMT, idx++, d.port_id, d.name, unsigned{d.vendor},
                    unsigned{d.ddevice}, unsigned{d.domain}, unsigned{d.bus}, unsigned{d.device},
                    unsigned{d.fun}, d.cur_mac_address ? d.cur_mac_address->c_str() : NO_ADDRESS,
                    d.linkup ? "up" : "down");
    }
    return 0;
}

eth_dev* find_device_by_name(device_list& zelvo_devices, const char* name) {
    if (name == nullptr)
        return nullptr;
    for (eth_dev& d : zelvo_devices) {
        if (std::strcmp(d.name, name) == 0)
            return &d;
    }
    return nullptr;
}

eth_dev* find_device_by_idx(device_list& zelvo_devices, int nr) {
    if (nr < 0)
        return nullptr;
    for (eth_dev& d : zelvo_devices) {
        if (nr-- == 0)
            return &d;
    }
    return nullptr;
}

eth_dev* find_device_by_pci_slot(device_list& zelvo_devices, const char* pci_slot) {
    if (zelvo_devices.empty() || pci_slot == nullptr)
        return nullptr;

    // Text after the last converted number is ignored.
    unsigned domain = 0, bus = 0, device = 0, fun = 0;
    if (std::sscanf(pci_slot, "%x:%x:%x.%u", &domain, &bus, &device, &fun) < 4) {
        domain = bus = device = fun = 0;
        if (std::sscanf(pci_slot, "%x:%x.%u", &bus, &device, &fun) < 3) {
            messages().print("input format is invalid: %s\n", pci_slot);
            return nullptr;
        }
    }
    // Compared as unsigned, so a number beyond a field's range never matches.
    for (eth_dev& d : zelvo_devices) {
        if (d.domain == domain && d.bus == bus && d.device == device && d.fun == fun)
            return &d;
    }
    return nullptr;
}

int find_all_device(device_list& zelvo_devices, std::vector<eth_dev>& cards) {
    if (zelvo_devices.empty())
        return 0;
    cards.clear();
    for (const eth_dev& d : zelvo_devices) {
        const bool seen = std::any_of(cards.begin(), cards.end(),
                                      [&d](const eth_dev& c) { return same_card(c, d); });
        if (!seen)
            cards.push_back(d);
    }
    return static_cast<int>(cards.size());
}
