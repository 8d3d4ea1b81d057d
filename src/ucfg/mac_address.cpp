#include "ucfg/mac_address.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/message_sink.h"

namespace {

constexpr int ETH_ALEN = 6;

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void print_port_mac(int port, const u8* a) {
    messages().print("port%d: %02x:%02x:%02x:%02x:%02x:%02x\n", port, a[0], a[1], a[2], a[3], a[4],
                a[5]);
}

}  // namespace

std::string str_dunp_with_strip(const char* text) {
    if (text == nullptr)
        return {};
    return std::string(text[0] == ' ' ? text + 1 : text);
}

int is_multicast_ether_addr(const u8* addr) { return (addr[0] & 0x01) ? 1 : 0; }

int is_zero_ether_addr(const u8* addr) {
    for (int i = 0; i < ETH_ALEN; ++i)
        if (addr[i] != 0x00)
            return 0;
    return 1;
}

int is_broadcase_ether_addr(const u8* addr) {
    for (int i = 0; i < ETH_ALEN; ++i)
        if (addr[i] != 0xff)
            return 0;
    return 1;
}

int is_valid_ether_addr(const u8* addr) {
    return !is_multicast_ether_addr(addr) && !is_zero_ether_addr(addr) &&
           !is_broadcase_ether_addr(addr);
}

int str_2_mac(const char* text, u8* out6) {
    if (text == nullptr)
        return -1;
    const std::string_view t(text);
    const bool separated = t.find_first_of("-:") != std::string_view::npos;
    // Separated form: "xx" groups three characters apart; plain form: two.
    const std::size_t stride = separated ? 3 : 2;
    if (t.size() != (separated ? 17u : 12u))
        return -1;

    u8 addr[ETH_ALEN];
    for (int i = 0; i < ETH_ALEN; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) * stride;
        const int hi = hex_digit(t[at]);
        const int lo = hex_digit(t[at + 1]);
        if (hi < 0 || lo < 0)
            return -1;
        if (separated && i < ETH_ALEN - 1 && t[at + 2] != '-' && t[at + 2] != ':')
            return -1;
        addr[i] = static_cast<u8>(hi << 4 | lo);
    }
    if (!is_valid_ether_addr(addr)) {
        messages().print("mac-addr should not be zero/broadcase/group\n");
        return -1;
    }
    std::memcpy(out6, addr, ETH_ALEN);
    return 0;
}

void mac_be64enc1(u8* addr6) {
    u64 v = 0;
    for (int i = 0; i < ETH_ALEN; ++i)
        v = v << 8 | addr6[i];
    ++v;  // bits above 47 are dropped below, so the top address wraps to zero
    for (int i = ETH_ALEN - 1; i >= 0; --i) {
        addr6[i] = static_cast<u8>(v & 0xff);
        v >>= 8;
    }
}

namespace {

// The first address of a batch; a bad text is refused after its message.
result batch_start(const char* text, u8* addr6) {
    if (str_2_mac(text, addr6) != 0) {
        messages().print("invalid macaddr:[%s]\n", text ? text : "");
        return result::fail(fault_code::invalid_value, std::string("invalid macaddr:[") + (text ? text : "") + "]");
    }
    return {};
}

}  // namespace

result mac_batch_set(ucfg_mac_sn* record, const char* text, int ports) {
    if (ports < 0 || ports > MAX_PORTS)
        return result::fail(fault_code::failed);
    u8 addr[ETH_ALEN];
    if (result r = batch_start(text, addr); !r.ok())
        return r;
    record->magic = MAC_SN_MAGIC;
    for (int i = 0; i < ports; ++i) {
        print_port_mac(i, addr);
        // Bytes 6 and 7 of the slot are not part of the address and stay.
        std::memcpy(record->macaddr[i], addr, ETH_ALEN);
        if (std::memcmp(record->macaddr[i], addr, ETH_ALEN) != 0) {
            messages().print("set mac failed \n");
            return result::fail(fault_code::failed, "set mac failed");
        }
        mac_be64enc1(addr);
    }
    if (ports > 0)
        ucfg_mac_sn_dirty = 1;
    return {};
}

result mac_p0_batch_check(const char* text, int ports, int max_ports) {
    if (ports < 1 || ports > max_ports) {
        messages().print("ports param is must 1 to %d \n", max_ports);
        return result::fail(fault_code::invalid_value, "ports param is must 1 to " + std::to_string(max_ports));
    }
    u8 addr[ETH_ALEN];
    return batch_start(text, addr);
}

result mac_p0_batch_set(ucfg_mac_sn* record, const char* text, int ports, int max_ports) {
    if (result r = mac_p0_batch_check(text, ports, max_ports); !r.ok())
        return r;
    return mac_batch_set(record, text, ports);
}

int mac_set(ucfg_mac_sn* record, int port, const u8* addr6) {
    if (!record_has_port(port))
        return -1;
    std::memcpy(record->macaddr[port], addr6, ETH_ALEN);
    record->magic = MAC_SN_MAGIC;
    print_port_mac(port, addr6);
    ucfg_mac_sn_dirty = 1;
    return 0;
}
