// The option-text parsers of the user record and the stores behind them: MAC
// addresses (the port's own and a run of ports), serdes (SI) values, and the
// per-port lists. The first input byte picks the parser, the second a port
// or count, the rest is the option text.
//
// What must hold: a parsed value is in its range and is what the text says; a
// store writes its own fields of the record and nothing else; a refused text
// leaves the record and the output untouched.
#define FUZZ_TARGET_NAME "ucfg_parsers"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

#include "record/cfg.h"
#include "fuzz_support.h"
#include "ucfg/feature_settings.h"
#include "ucfg/mac_address.h"
#include "ucfg/si_settings.h"

namespace {

constexpr u8 UNTOUCHED = 0xA5;  // fill that no store writes on its own

// A record filled with UNTOUCHED; the stores do not look at its content.
ucfg_mac_sn fresh_record() {
    ucfg_mac_sn r;
    std::memset(&r, UNTOUCHED, sizeof r);
    return r;
}

// Bytes [from, to) of the record may differ, every other byte must not.
struct allowed {
    std::size_t from, to;
};
void check_only_changed(const ucfg_mac_sn& before, const ucfg_mac_sn& after, std::initializer_list<allowed> ranges,
                        const char* what) {
    const auto* b = reinterpret_cast<const u8*>(&before);
    const auto* a = reinterpret_cast<const u8*>(&after);
    for (std::size_t i = 0; i < sizeof(ucfg_mac_sn); ++i) {
        bool free = false;
        for (const allowed& r : ranges)
            free = free || (i >= r.from && i < r.to);
        FUZZ_CHECK(free || a[i] == b[i], std::string(what) + " wrote record byte " + std::to_string(i));
    }
}

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The twelve hexadecimal digits of an accepted address text, in order.
void check_mac_text(const std::string& text, const u8* addr) {
    std::string digits;
    for (char c : text)
        if (hex_value(c) >= 0)
            digits.push_back(c);
    FUZZ_CHECK(digits.size() == 12, "accepted address text '" + text + "'");
    for (int i = 0; i < 6; ++i)
        FUZZ_CHECK(addr[i] == hex_value(digits[2 * i]) * 16 + hex_value(digits[2 * i + 1]),
                   "address byte " + std::to_string(i) + " of '" + text + "'");
    FUZZ_CHECK(is_valid_ether_addr(addr) == 1, "accepted address is zero, broadcast or group: " + text);
}

// The port's own address, as the pipeline stores it (-mac): the port comes
// from the interface and may be unreadable (-1) or beyond the record.
void fuzz_str_2_mac(const std::string& text, int port) {
    u8 addr[6];
    std::memset(addr, UNTOUCHED, sizeof addr);
    const fuzz::call_result r = fuzz::call_catching_end([&] { return str_2_mac(text.c_str(), addr); });
    FUZZ_CHECK(!r.ended && (r.status == 0 || r.status == -1), "str_2_mac result " + std::to_string(r.status));
    if (r.status != 0) {
        for (u8 b : addr)
            FUZZ_CHECK(b == UNTOUCHED, "refused address written: " + text);
        return;
    }
    check_mac_text(text, addr);

    ucfg_mac_sn rec = fresh_record();
    const ucfg_mac_sn before = rec;
    const bool port_ok = port >= 0 && port < MAX_PORTS;
    FUZZ_CHECK(mac_set(&rec, port, addr) == (port_ok ? 0 : -1), "mac_set result for port " + std::to_string(port));
    if (!port_ok) {
        check_only_changed(before, rec, {}, "mac_set for a port out of range");
        return;
    }
    const std::size_t slot = offsetof(ucfg_mac_sn, macaddr) + sizeof rec.macaddr[0] * static_cast<std::size_t>(port);
    const std::size_t magic = offsetof(ucfg_mac_sn, magic);
    check_only_changed(before, rec, {{slot, slot + 6}, {magic, magic + 4}}, "mac_set");
    FUZZ_CHECK(std::memcmp(rec.macaddr[port], addr, 6) == 0 && rec.magic == MAC_SN_MAGIC, "mac_set stored");
}

void fuzz_mac_batch_set(const std::string& text, int ports) {
    ucfg_mac_sn rec = fresh_record();
    const ucfg_mac_sn before = rec;
    const result r = mac_batch_set(&rec, text.c_str(), ports);
    u8 want[6];
    const bool count_ok = ports >= 0 && ports <= MAX_PORTS, text_ok = str_2_mac(text.c_str(), want) == 0;
    if (!r.ok()) {
        // A count out of range fails before the text is read; a bad text is an invalid value.
        FUZZ_CHECK(r.code == (count_ok ? fault_code::invalid_value : fault_code::failed) && (!count_ok || !text_ok),
                   "mac_batch_set refused '" + text + "' over " + std::to_string(ports) + " ports with code " +
                       std::to_string(static_cast<int>(r.code)));
        check_only_changed(before, rec, {}, "refused mac_batch_set");
        return;
    }
    FUZZ_CHECK(count_ok, "accepted port count " + std::to_string(ports));
    FUZZ_CHECK(text_ok, "batch accepted a text the parser refuses");
    check_only_changed(before, rec,
                       {{offsetof(ucfg_mac_sn, macaddr), offsetof(ucfg_mac_sn, macaddr) + sizeof rec.macaddr},
                        {offsetof(ucfg_mac_sn, magic), offsetof(ucfg_mac_sn, magic) + 4}},
                       "mac_batch_set outside the slots");
    FUZZ_CHECK(ports == 0 || rec.magic == MAC_SN_MAGIC, "addresses stored without the magic");
    for (int p = 0; p < MAX_PORTS; ++p) {
        if (p < ports) {
            FUZZ_CHECK(std::memcmp(rec.macaddr[p], want, 6) == 0, "slot " + std::to_string(p));
            mac_be64enc1(want);
        } else {
            FUZZ_CHECK(std::memcmp(rec.macaddr[p], before.macaddr[p], 6) == 0, "slot past the count");
        }
        FUZZ_CHECK(rec.macaddr[p][6] == UNTOUCHED && rec.macaddr[p][7] == UNTOUCHED, "slot bytes 6-7");
    }
}

// The SI text as the pipeline uses it: one lane to the port's own entry,
// four lanes to entries 0-3 (port 0) or 4-7.
void fuzz_si(const std::string& text, int port) {
    si lanes[4];
    std::memset(lanes, UNTOUCHED, sizeof lanes);
    const fuzz::call_result parsed = fuzz::call_catching_end([&] { return str_2_si_v2(text.c_str(), lanes, false); });
    // A malformed or out-of-range text is refused with -EINVAL, handed up,
    // never ending the run, and goes to no store.
    FUZZ_CHECK(!parsed.ended && (parsed.status == 1 || parsed.status == 4 || parsed.status == -EINVAL),
               "SI set count " + std::to_string(parsed.status));
    if (parsed.status == -EINVAL)
        return;
    for (int i = 0; i < 4; ++i) {
        const si& l = lanes[i];
        if (i >= parsed.status) {
            FUZZ_CHECK(l.tx_eq_main == UNTOUCHED && l.boost == UNTOUCHED, "SI set past the count written");
            continue;
        }
        FUZZ_CHECK(l.tx_eq_main <= 63 && l.tx_eq_pre <= 63 && l.tx_eq_post <= 63 && l.boost <= 15,
                   "SI value out of range from '" + text + "'");
    }

    ucfg_mac_sn rec = fresh_record();
    const ucfg_mac_sn before = rec;
    const int result = parsed.status == 1 ? do_si_set(port, &rec, lanes[0].tx_eq_main, lanes[0].tx_eq_pre,
                                                      lanes[0].tx_eq_post, lanes[0].boost)
                                          : do_si_set_25_40g(port, &rec, lanes[0], lanes[1], lanes[2], lanes[3]);
    // Four lanes go to entries 4-7 for every port number but 0, in range or
    // not; one lane needs a port of the record.
    const bool port_ok = parsed.status == 4 || (port >= 0 && port < MAX_PORTS);
    FUZZ_CHECK(result == (port_ok ? 0 : -1), "SI store result " + std::to_string(result));
    if (!port_ok) {
        check_only_changed(before, rec, {}, "SI store for a port out of range");
        return;
    }
    const int first = parsed.status == 1 ? port : (port == 0 ? 0 : MAX_LANES_PEER_SERDES);
    const std::size_t at = offsetof(ucfg_mac_sn, si) + sizeof(si) * static_cast<std::size_t>(first);
    const std::size_t flags = offsetof(ucfg_mac_sn, si_valid_flags);
    check_only_changed(before, rec, {{flags, flags + 4}, {at, at + sizeof(si) * static_cast<std::size_t>(parsed.status)}},
                       "SI store");
    FUZZ_CHECK(std::memcmp(reinterpret_cast<const u8*>(&rec) + at, lanes, sizeof(si) * parsed.status) == 0,
               "stored SI values differ from the parsed ones");
}

// A per-port list parser and the four values (ports 0-3) it may write: the
// first at `at`, each `width` bytes, `stride` bytes apart.
struct list_parser {
    int (*parse)(const char*, ucfg_mac_sn*);
    std::size_t at, stride, width;
};
const list_parser LIST_PARSERS[] = {
    {str_2_lldp_status_conf, offsetof(ucfg_mac_sn, lldp_admStatus), 1, 1},
    {str_2_lldp_txIntval_conf, offsetof(ucfg_mac_sn, lldp_txIntval), 1, 1},
    {str_2_wol_mode_conf, offsetof(ucfg_mac_sn, wol_info) + offsetof(wol_cfg, wol_mode), sizeof(wol_cfg), 4},
    {str_2_wol_en_conf, offsetof(ucfg_mac_sn, wol_info) + offsetof(wol_cfg, wol_en), sizeof(wol_cfg), 4},
    {str_2_pack_id_conf, offsetof(ucfg_mac_sn, pack_id), 1, 1},
    {str_2_force_state_conf, offsetof(ucfg_mac_sn, force_status), 4, 4},
};

// A list text is cut at single spaces; it is refused, with -EINVAL, exactly
// when it holds fewer than four values (three spaces).
int list_status(const std::string& text) {
    return std::ranges::count(text, ' ') < 3 ? -EINVAL : 0;
}

void fuzz_list(const list_parser& p, const std::string& text) {
    ucfg_mac_sn rec = fresh_record();
    const ucfg_mac_sn before = rec;
    const fuzz::call_result r = fuzz::call_catching_end([&] { return p.parse(text.c_str(), &rec); });
    // A malformed text is refused, handed up, never ending the run.
    FUZZ_CHECK(!r.ended && r.status == list_status(text), "list parser status " + std::to_string(r.status));
    const auto value = [&p](std::size_t i) { return allowed{p.at + i * p.stride, p.at + i * p.stride + p.width}; };
    check_only_changed(before, rec, {value(0), value(1), value(2), value(3)}, "list parser");
}

void fuzz_led(const std::string& text) {
    struct {
        led_bitmap_t led;
        u8 guard[16];
    } box;
    std::memset(&box, UNTOUCHED, sizeof box);
    const fuzz::call_result r = fuzz::call_catching_end([&] { return str_2_led_conf(text.c_str(), &box.led); });
    // A malformed text is refused, handed up, never ending the run.
    FUZZ_CHECK(!r.ended && r.status == list_status(text), "LED parser status " + std::to_string(r.status));
    for (u8 g : box.guard)
        FUZZ_CHECK(g == UNTOUCHED, "LED parser wrote past the four words");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const u8 pick = data[0];
    // Ports and counts from -2 to 10: both sides of the valid 0..7 and 0..8.
    const int number = static_cast<int>(data[1] % 13) - 2;
    // The option text ends at the first NUL, as an argv string would.
    const std::string text(reinterpret_cast<const char*>(data + 2), strnlen(reinterpret_cast<const char*>(data + 2), size - 2));

    constexpr int LISTS = sizeof LIST_PARSERS / sizeof LIST_PARSERS[0];
    switch (pick % (4 + LISTS)) {
    case 0: fuzz_str_2_mac(text, number); break;
    case 1: fuzz_mac_batch_set(text, number); break;
    case 2: fuzz_si(text, number); break;
    case 3: fuzz_led(text); break;
    default: fuzz_list(LIST_PARSERS[pick % (4 + LISTS) - 4], text); break;
    }
    return 0;
}
