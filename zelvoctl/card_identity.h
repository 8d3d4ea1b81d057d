// What names a card in a backup manifest and in duplicate checks: its PCI
// address, device id, serial number and the MAC addresses of its ports, as
// its user record stores them.
#pragma once

#include <string>
#include <vector>

#include "card_inventory.h"
#include "flash/flash_access.h"
#include "record_decode.h"

struct card_identity {
    std::string pci_address;
    u16 device_id = 0;
    std::string model;
    bool record_valid = false;
    std::string serial;             // "" when the record is not valid
    std::vector<std::string> macs;  // ports 0..ports-1 that hold an address
};

// The serial number a user record holds; "" when the record is not valid.
std::string serial_of(const ucfg_mac_sn& r);

// Reads the card's stored user record (one partition read).
card_identity read_identity(flash_access& flash, const card& c);

json identity_json(const card_identity& id);
