#include "field_setters.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>

#include "ctl_error.h"
#include "cli/exit_request.h"
#include "stdout_capture.h"
#include "ucfg/feature_settings.h"
#include "ucfg/identity.h"
#include "ucfg/mac_address.h"
#include "ucfg/si_settings.h"

namespace {

using setter = std::function<void(ucfg_mac_sn&, int index, const std::string& value)>;

[[noreturn]] void refuse(const std::string& why) { throw ctl_error(ctl_status::usage, why); }

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

// The four-value text the library's per-feature parser takes: the record's
// current values with entry `index` replaced by `value`.
template <typename T>
std::string four_values(const T (&current)[4], int index, const std::string& value) {
    std::string text;
    for (int i = 0; i < 4; ++i)
        text += (i ? " " : "") + (i == index ? value : std::to_string(current[i]));
    return text;
}

template <typename Field>
setter per_port(Field field, int (*parse)(const char*, ucfg_mac_sn*)) {
    return [field, parse](ucfg_mac_sn& r, int i, const std::string& v) {
        need_number(v);
        decltype(field(r, 0)) current[4];
        for (int p = 0; p < 4; ++p)
            current[p] = field(r, p);
        parse(four_values(current, i, v).c_str(), &r);
    };
}

setter text_field(int which) {  // 1 sn, 0 pn, -1 product name
    return [which](ucfg_mac_sn& r, int, const std::string& v) {
        if (v.size() > UCFG_TEXT_LEN)
            refuse("longer than " + std::to_string(UCFG_TEXT_LEN) + " characters");
        if ((which < 0 ? pName_set(&r, v.c_str()) : sn_pn_set(&r, v.c_str(), which)) != 0)
            refuse("not stored");
    };
}

setter lane_flag(int which) {  // 0 an, 1 link training, 2 fec
    return [which](ucfg_mac_sn& r, int port, const std::string& v) {
        if (v != "0" && v != "1")
            refuse("'" + v + "' is not 0 or 1");
        int flags[3] = {-1, -1, -1};
        flags[which] = v == "1";
        lane_misc_set(&r, port, flags[0], flags[1], flags[2]);
    };
}

void set_mac(ucfg_mac_sn& r, int port, const std::string& v) {
    u8 addr[6];
    if (str_2_mac(v.c_str(), addr) != 0)
        refuse("'" + v + "' is not a unicast MAC address");
    mac_set(&r, port, addr);
}

void set_si(ucfg_mac_sn& r, int port, const std::string& v) {
    si sets[4];
    if (str_2_si_v2(v.c_str(), sets, false) == 1)
        do_si_set(port, &r, sets[0].tx_eq_main, sets[0].tx_eq_pre, sets[0].tx_eq_post, sets[0].boost);
    else
        do_si_set_25_40g(port, &r, sets[0], sets[1], sets[2], sets[3]);
}

void set_led(ucfg_mac_sn& r, int, const std::string& v) {
    const std::string padded = " " + v;  // the words are cut at single spaces
    if (std::count(padded.begin(), padded.end(), ' ') != 4)
        refuse("needs four hexadecimal words: CTRL ACT HI LO");
    str_2_led_conf(v.c_str(), &r.led_bitmap);
}

setter pack_id_part(int part) {  // 0 group, 1 pin
    return [part](ucfg_mac_sn& r, int id, const std::string& v) {
        need_number(v);
        const int current[4] = {r.pack_id[0].group, r.pack_id[0].pin, r.pack_id[1].group, r.pack_id[1].pin};
        str_2_pack_id_conf(four_values(current, 2 * id + part, v).c_str(), &r);
    };
}

struct field_row {
    const char* pattern;
    int count;  // numbers '#' may take: 0..count-1
    setter apply;
};

const std::vector<field_row>& field_table() {
    static const std::vector<field_row> rows = {
        {"mac.#", MAX_PORTS, set_mac},
        {"sn", 0, text_field(1)},
        {"pn", 0, text_field(0)},
        {"name", 0, text_field(-1)},
        {"si.#", MAX_PORTS, set_si},
        {"lane.#.an", MAX_PORTS, lane_flag(0)},
        {"lane.#.lt", MAX_PORTS, lane_flag(1)},
        {"lane.#.fec", MAX_PORTS, lane_flag(2)},
        {"led", 0, set_led},
        {"lldp.#.status", 4, per_port([](ucfg_mac_sn& r, int p) { return int{r.lldp_admStatus[p]}; },
                                      str_2_lldp_status_conf)},
        {"lldp.#.interval", 4, per_port([](ucfg_mac_sn& r, int p) { return int{r.lldp_txIntval[p]}; },
                                        str_2_lldp_txIntval_conf)},
        {"wol.#.mode", 4, per_port([](ucfg_mac_sn& r, int p) { return r.wol_info[p].wol_mode; },
                                   str_2_wol_mode_conf)},
        {"wol.#.enable", 4, per_port([](ucfg_mac_sn& r, int p) { return r.wol_info[p].wol_en; },
                                     str_2_wol_en_conf)},
        {"force_state.#", 4, per_port([](ucfg_mac_sn& r, int p) { return r.force_status[p]; },
                                      str_2_force_state_conf)},
        {"pack_id.#.group", 2, pack_id_part(0)},
        {"pack_id.#.pin", 2, pack_id_part(1)},
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

std::string first_line(const std::string& text) {
    const std::size_t start = text.find_first_not_of("\n ");
    if (start == std::string::npos)
        return "";
    return text.substr(start, text.find('\n', start) - start);
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
        const stdout_capture library_says;
        try {
            row.apply(record, index, value);
        } catch (const ctl_error& e) {
            refuse(name + ": " + e.what());
        } catch (const exit_request&) {
            refuse(name + ": " + first_line(library_says.text()));
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
