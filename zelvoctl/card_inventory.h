// The host's controller cards as zelvoctl sees them: the scanned interfaces
// grouped per card, and the selection of a DEVICE argument.
#pragma once

#include <string>
#include <vector>

#include "devices/eth_dev.h"

struct card {
    const eth_dev* first = nullptr;      // its first interface in table order; names the card
    std::vector<const eth_dev*> ifaces;  // all of them, in table order
    int ports = 0;                       // by device id
};

// The cards of `devices` in table order.
std::vector<card> group_cards(const device_list& devices);

// "4-port", "2-port" or "1-port" by port count.
std::string card_model(int ports);

// "dddd:bb:dd.f" of an interface's PCI function.
std::string pci_address(const eth_dev& dev);

// The interface a DEVICE argument names: an interface name, or a PCI address
// with or without its domain (the first interface there). Throws not_found.
const eth_dev& resolve_device(device_list& devices, const std::string& text);

// The card holding `dev`.
const card& card_of(const std::vector<card>& cards, const eth_dev& dev);
