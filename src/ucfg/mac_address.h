// MAC addresses of the user record: the address text parser with its validity
// tests, the address increment, and the setters for one port or a run of ports.
#pragma once

#include <array>
#include <string>

#include "base/result.h"
#include "record/cfg.h"
#include "base/types.h"

// Copy of an option text without a space in its very first position; every
// other space is kept.
std::string str_dunp_with_strip(const char* text);

// Tests on six address bytes, most significant first: 1 when they hold, else 0.
int is_multicast_ether_addr(const u8* addr);
int is_zero_ether_addr(const u8* addr);
int is_broadcase_ether_addr(const u8* addr);
int is_valid_ether_addr(const u8* addr);  // none of the three above

// Reads "xx:xx:xx:xx:xx:xx" ('-' and ':' may be mixed) or "xxxxxxxxxxxx".
// 0 with out6 filled; -1 with out6 untouched (a message only for a
// well-formed address that is zero, broadcast or group).
int str_2_mac(const char* text, u8* out6);

// Adds one to the 48-bit address, carrying from the last byte to the first.
void mac_be64enc1(u8* addr6);

// Stores `ports` consecutive addresses from the text's one into slots
// 0..ports-1 and writes the magic. A bad text: invalid_value after
// "invalid macaddr:[%s]\n". failed when `ports` is outside 0..MAX_PORTS
// (nothing written) or a slot does not read back.
result mac_batch_set(ucfg_mac_sn* record, const char* text, int ports);

// What mac_p0_batch_set refuses, checked without a record and without the
// address lines: a count outside 1..max_ports prints "ports param is must 1
// to %d \n" and returns invalid_value; a bad text is refused as by
// mac_batch_set. ok otherwise.
result mac_p0_batch_check(const char* text, int ports, int max_ports);

// -mac-p0 over -ports ports of a card that has `max_ports`: a count outside
// 1..max_ports prints "ports param is must 1 to %d \n" and returns
// invalid_value with nothing written; otherwise what mac_batch_set returns.
result mac_p0_batch_set(ucfg_mac_sn* record, const char* text, int ports, int max_ports);

// Stores the address in the port's slot and writes the magic. -1 when the
// record has no slot for the port (record_has_port; nothing written).
int mac_set(ucfg_mac_sn* record, int port, const u8* addr6);

// The same, typed: the six address bytes of `port`.
inline int set_mac(ucfg_mac_sn& record, int port, const std::array<u8, 6>& address) {
    return mac_set(&record, port, address.data());
}
