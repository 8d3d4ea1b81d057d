// The device table and the selection of devices by position, interface
// name, PCI slot, or one per card. Lookups walk the registry from its start,
// so the first match is the first in table order; they return the registry's
// own records.
#pragma once

#include <vector>

#include "eth_dev.h"

// Prints the banner line and, when there are devices, the numbered table.
// Always 0.
int print_deivces(const device_list& zelvo_devices);

// First record whose name equals `name` (case-sensitive), or nullptr.
eth_dev* find_device_by_name(device_list& zelvo_devices, const char* name);

// Record at 0-based table position `nr`, or nullptr.
eth_dev* find_device_by_idx(device_list& zelvo_devices, int nr);

// First record at the PCI address "domain:bus:device.function" or
// "bus:device.function" (hexadecimal, the function decimal), or nullptr.
// Malformed text is reported, except on an empty registry.
eth_dev* find_device_by_pci_slot(device_list& zelvo_devices, const char* pci_slot);

// Replaces the content of `cards` with one copy per card (PCI domain, bus and
// device number of one device id), each its first record in table order;
// returns their count. An empty registry returns 0 and leaves `cards` alone.
int find_all_device(device_list& zelvo_devices, std::vector<eth_dev>& cards);
