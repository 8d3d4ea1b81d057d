#include "card_inventory.h"

#include <cstdio>

#include "ctl_error.h"
#include "devices/device_select.h"
#include "devices/port_count.h"
#include "devices/same_card.h"

std::vector<card> group_cards(const device_list& devices) {
    std::vector<card> cards;
    for (const eth_dev& d : devices) {
        card* home = nullptr;
        for (card& c : cards)
            if (same_card(*c.first, d))
                home = &c;
        if (home == nullptr) {
            cards.push_back(card{&d, {}, net_card_max_port_cnt(&d)});
            home = &cards.back();
        }
        home->ifaces.push_back(&d);
    }
    return cards;
}

std::string card_model(int ports) { return std::to_string(ports) + "-port"; }

std::string pci_address(const eth_dev& dev) {
    char text[32];
    std::snprintf(text, sizeof text, "%04x:%02x:%02x.%u", dev.domain, dev.bus, dev.device,
                  static_cast<unsigned>(dev.fun));
    return text;
}

const eth_dev& resolve_device(device_list& devices, const std::string& text) {
    if (eth_dev* d = find_device_by_name(devices, text.c_str()))
        return *d;
    // Only something shaped like bus:device.function is looked up as an
    // address, so that a mistyped name is reported as such.
    if (text.find(':') != std::string::npos && text.find('.') != std::string::npos)
        if (eth_dev* d = find_device_by_pci_slot(devices, text.c_str()))
            return *d;
    throw ctl_error(ctl_status::not_found, "no Zelvo interface or PCI address '" + text + "'");
}

const card& card_of(const std::vector<card>& cards, const eth_dev& dev) {
    for (const card& c : cards)
        if (same_card(*c.first, dev))
            return c;
    throw ctl_error(ctl_status::not_found, std::string("no card holds ") + dev.name);
}
