#include "ucfg/si_settings.h"

#include <cerrno>
#include <cstdio>

#include "ucfg/mac_address.h"
#include "ucfg/option_tokens.h"
#include "base/message_sink.h"

const char si_input_usage[] =
    " for 1/10G:\n\t<main> <pre> <post> <boost>\n\tie: 29 0 12 15\n for 25/40G:\n\t "
    "<lane0_si>,<lane1_si>,<lane2_si>,<lane3_si>\n\t\tlaneX_si: <main> <pre> <post> "
    "<boost>\n\n\t\tie: 21 0 11 11,22 0 12 12,23 0 13 13,24 0 14 14 \n\t\t lane0:  21 0 11 "
    "11\n\t\t lane1:  22 0 12 12\n\t\t lane2:  23 0 13 13\n\t\t lane3:  24 0 14 14\n";

namespace {

constexpr int LANES_PER_SET = 4;  // a 25G/40G port: one set per lane
constexpr int TAP_MAX = 63;
constexpr int BOOST_MAX = 15;

int malformed(const char* text) {
    messages().print("invalid si input[%s]: Usage:\n%s", text, si_input_usage);
    return -EINVAL;
}

// Value k of a set (0 main .. 3 boost) out of range; `piece` is the set's
// text as cut at the commas.
int out_of_range(int k, int value, const std::string& piece) {
    switch (k) {
    case 0: messages().print("invalid main:%d\n", value); break;
    case 1: messages().print("invalid pre:%d\n", value); break;
    case 2: messages().print("invalid post:%d\n", value); break;
    default: messages().print("invalid boost:%d in:[%s]\n", value, piece.c_str()); break;
    }
    return -EINVAL;
}

}  // namespace

int str_2_si_v2(const char* text, si* out4, bool trace) {
    if (text == nullptr)
        text = "";
    token_cutter pieces(str_dunp_with_strip(text));
    for (int i = 0; i < LANES_PER_SET; ++i) {
        const auto piece = pieces.next(',');
        if (!piece) {
            if (i == 1)
                return 1;
            return malformed(text);
        }
        // A space after the comma is dropped; any further one makes an empty
        // token, which reads as 0 and shifts the later values.
        token_cutter tokens(str_dunp_with_strip(piece->c_str()));
        int v[4];
        for (int k = 0; k < 4; ++k) {
            const auto token = tokens.next(' ');
            if (!token)
                return malformed(text);
            v[k] = static_cast<int>(read_auto_number(*token));
            if (v[k] < 0 || v[k] > (k == 3 ? BOOST_MAX : TAP_MAX))
                return out_of_range(k, v[k], *piece);
        }
        if (trace)
            messages().print("[%d] main:%u pre:%u post:%u boost:%u\n", i, static_cast<unsigned>(v[0]),
                        static_cast<unsigned>(v[1]), static_cast<unsigned>(v[2]),
                        static_cast<unsigned>(v[3]));
        out4[i] = si{static_cast<u8>(v[0]), static_cast<u8>(v[1]), static_cast<u8>(v[2]),
                     static_cast<u8>(v[3])};
    }
    return LANES_PER_SET;
}

int do_si_set(int port, ucfg_mac_sn* record, int tx_main, int pre, int post, int boost) {
    if (port < 0 || port >= MAX_PORTS)
        return -1;
    const int values[4] = {tx_main, pre, post, boost};
    // Indexed by SI_MAIN_BIT .. SI_BOOST_BIT.
    u8 si::* const fields[4] = {&si::tx_eq_main, &si::tx_eq_pre, &si::tx_eq_post, &si::boost};
    for (int k = SI_MAIN_BIT; k <= SI_BOOST_BIT; ++k) {
        if (values[k] == SI_INVAL)
            continue;
        record->si_valid_flags |= 1u << (4 * port + k);
        record->si[port].*fields[k] = static_cast<u8>(values[k]);
        ucfg_mac_sn_dirty = 1;
    }
    return 0;
}

int do_si_set_25_40g(int port, ucfg_mac_sn* record, si lane0, si lane1, si lane2, si lane3) {
    // Port 0 owns the first serdes; every other port number, an unreadable
    // one (-1) included, means the second.
    const int first = port == 0 ? 0 : MAX_LANES_PEER_SERDES;
    const si lanes[MAX_LANES_PEER_SERDES] = {lane0, lane1, lane2, lane3};
    for (int i = 0; i < MAX_LANES_PEER_SERDES; ++i) {
        const int e = first + i;
        record->si_valid_flags |= 0xFu << (4 * e);
        record->si[e] = lanes[i];
        ucfg_mac_sn_dirty = 1;
    }
    return 0;
}

int set_si(ucfg_mac_sn& record, int port, std::span<const si> lanes) {
    if (lanes.size() == 1)
        return do_si_set(port, &record, lanes[0].tx_eq_main, lanes[0].tx_eq_pre, lanes[0].tx_eq_post, lanes[0].boost);
    if (lanes.size() == LANES_PER_SET)
        return do_si_set_25_40g(port, &record, lanes[0], lanes[1], lanes[2], lanes[3]);
    return -EINVAL;
}

result cfg_si_batch_set(ucfg_mac_sn* record, const si_port_texts& texts, bool trace) {
    bool any = false;
    for (const char* text : texts)
        any = any || text[0] != '\0';
    if (!any)
        return {};
    record->magic = MAC_SN_MAGIC;
    for (int n = 0; n < MAX_PORTS; ++n) {
        const char* text = texts[static_cast<std::size_t>(n)];
        if (text[0] == '\0')
            break;  // ports after the first gap are not looked at
        si values[LANES_PER_SET];
        const int lanes = str_2_si_v2(text, values, trace);
        if (lanes < 0)
            return result::fail(fault_code::invalid_value, text);
        set_si(*record, n, std::span<const si>(values, static_cast<std::size_t>(lanes)));
    }
    return {};
}
