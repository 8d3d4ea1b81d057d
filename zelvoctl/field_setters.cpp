#include "field_setters.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <functional>

#include "ctl_error.h"
#include "base/message_sink.h"
#include "ucfg/feature_settings.h"
#include "ucfg/identity.h"
#include "ucfg/mac_address.h"
#include "ucfg/option_tokens.h"
#include "ucfg/si_settings.h"

namespace {

using setter = std::function<void(ucfg_mac_sn&, int index, const std::string& value)>;

[[noreturn]] void refuse(const std::string& why) { throw ctl_error(ctl_status::usage, why); }

std::string first_line(const std::string& text) {
    const std::size_t start = text.find_first_not_of("\n ");
    if (start == std::string::npos)
        return "";
    return text.substr(start, text.find('\n', start) - start);
}

// The library reads a text that is no number as 0; a field given by hand must
// be one whole number (decimal, 0x hexadecimal or leading-0 octal).
void need_number(const std::string& value) {
    if (value.empty() || value.find(' ') != std::string::npos)
        refuse("'" + value + "' is not a number");
    char* end = nullptr;
    errno = 0;
    (void)std::strtol(value.c_str(), &end, 0);
    if (*end != '\0' || errno != 0)
        refuse("'" + value + "' is not a number");
}

setter text_setter(record_text field) {
    return [field](ucfg_mac_sn& r, int, const std::string& v) {
        if (v.size() > UCFG_TEXT_LEN)
            refuse("longer than " + std::to_string(UCFG_TEXT_LEN) + " characters");
        if (set_text(r, field, v.c_str()) != 0)
            refuse("not stored");
    };
}

setter lane_setter(lane_flag flag) {
    return [flag](ucfg_mac_sn& r, int port, const std::string& v) {
        if (v != "0" && v != "1")
            refuse("'" + v + "' is not 0 or 1");
        set_lane_flag(r, port, flag, v == "1");
    };
}

setter feature_setter(port_feature feature) {
    return [feature](ucfg_mac_sn& r, int port, const std::string& v) {
        need_number(v);
        set_port_feature(r, feature, port, read_auto_number(v));
    };
}

setter pack_id_setter(pack_id_part part) {
    return [part](ucfg_mac_sn& r, int id, const std::string& v) {
        need_number(v);
        set_pack_id(r, id, part, read_auto_number(v));
    };
}

void mac_setter(ucfg_mac_sn& r, int port, const std::string& v) {
    std::array<u8, 6> addr;
    if (str_2_mac(v.c_str(), addr.data()) != 0)
        refuse("'" + v + "' is not a unicast MAC address");
    set_mac(r, port, addr);
}

// The parser's own message (its first line) names what is wrong.
void si_setter(ucfg_mac_sn& r, int port, const std::string& v) {
    si sets[4];
    buffer_sink said;
    int lanes;
    {
        const sink_scope parsing(said);
        lanes = str_2_si_v2(v.c_str(), sets, false);
    }
    if (lanes < 0)
        refuse(first_line(said.text()));
    set_si(r, port, std::span<const si>(sets, static_cast<std::size_t>(lanes)));
}

void led_setter(ucfg_mac_sn& r, int, const std::string& v) {
    const std::string padded = " " + v;  // the words are cut at single spaces
    if (std::count(padded.begin(), padded.end(), ' ') != 4)
        refuse("needs four hexadecimal words: CTRL ACT HI LO");
    str_2_led_conf(v.c_str(), &r.led_bitmap);
}

struct field_row {
    const char* pattern;
    int count;  // numbers '#' may take: 0..count-1
    setter apply;
};

const std::vector<field_row>& field_table() {
    static const std::vector<field_row> rows = {
        {"mac.#", MAX_PORTS, mac_setter},
        {"sn", 0, text_setter(record_text::serial)},
        {"pn", 0, text_setter(record_text::part_number)},
        {"name", 0, text_setter(record_text::product_name)},
        {"si.#", MAX_PORTS, si_setter},
        {"lane.#.an", MAX_PORTS, lane_setter(lane_flag::autoneg)},
        {"lane.#.lt", MAX_PORTS, lane_setter(lane_flag::link_training)},
        {"lane.#.fec", MAX_PORTS, lane_setter(lane_flag::fec)},
        {"led", 0, led_setter},
        {"lldp.#.status", 4, feature_setter(port_feature::lldp_status)},
        {"lldp.#.interval", 4, feature_setter(port_feature::lldp_interval)},
        {"wol.#.mode", 4, feature_setter(port_feature::wol_mode)},
        {"wol.#.enable", 4, feature_setter(port_feature::wol_enable)},
        {"force_state.#", 4, feature_setter(port_feature::force_state)},
        {"pack_id.#.group", 2, pack_id_setter(pack_id_part::group)},
        {"pack_id.#.pin", 2, pack_id_setter(pack_id_part::pin)},
    };
    return rows;
}

// Matches `name` against a pattern; the number standing for '#' goes to `index`.
bool matches(const std::string& pattern, const std::string& name, int count, int& index) {
    const std::size_t hash = pattern.find('#');
    if (hash == std::string::npos)
        return pattern == name;
    const std::string head = pattern.substr(0, hash), tail = pattern.substr(hash + 1);
    if (name.size() <= head.size() + tail.size() || !name.starts_with(head) || !name.ends_with(tail))
        return false;
    const std::string digits = name.substr(head.size(), name.size() - head.size() - tail.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 2)
        return false;
    index = std::stoi(digits);
    if (index >= count)
        refuse(name + ": number out of range 0-" + std::to_string(count - 1));
    return true;
}


}  // namespace

void apply_field(ucfg_mac_sn& record, const std::string& assignment) {
    const std::size_t eq = assignment.find('=');
    if (eq == std::string::npos)
        refuse("'" + assignment + "' is not FIELD=VALUE");
    const std::string name = assignment.substr(0, eq), value = assignment.substr(eq + 1);
    for (const field_row& row : field_table()) {
        int index = 0;
        if (!matches(row.pattern, name, row.count, index))
            continue;
        try {
            row.apply(record, index, value);
        } catch (const ctl_error& e) {
            refuse(name + ": " + e.what());
        }
        record.magic = MAC_SN_MAGIC;  // as every batch of the other tool does
        return;
    }
    refuse("unknown field '" + name + "'");
}

std::vector<std::string> field_patterns() {
    std::vector<std::string> names;
    for (const field_row& row : field_table())
        names.emplace_back(row.pattern);
    return names;
}
