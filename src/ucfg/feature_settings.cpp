#include "ucfg/feature_settings.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "ucfg/option_tokens.h"
#include "base/message_sink.h"

const char led_input_usage[] =
    " for led ctrl:\n\t<led_ctrl> <act_tmout> <blk_thre_h> <blk_thre_low>\n\tie: 0x4746c442 "
    "0x3b9aca0 0x9e4f58 0x17d7840\n for led_ctrl notes:\n\t "
    "<led3_mode:0x47>,<led2_mode:0x46>,<led1_mode:0xc4>,<led0_mode:0x42>\n\t\tmode_info: "
    "<0x47:1000M> <0x46:100M> <0xc4:ACT, -p blink> <0x42:LINK>\n\n";
const char lldp_status_usage[] =
    " for lldp status ctrl:\n\t<lldp_status_port0> <lldp_status_port1> <lldp_status_port2> "
    "<lldp_status_port3>\n\tie: 0x0 0x0 0x0 0x0\n for lldp_status_ctrl notes:\n\t "
    "<disable:0>,<tx:1>,<rx:2>,<txrx:3>\n\n";
const char lldp_txIntval_usage[] =
    " for lldp txIntval ctrl:\n\t<lldp_txIntval_port0> <lldp_txIntval_port1> "
    "<lldp_txIntval_port2> <lldp_txIntval_port3>\n\tie: 30 30 30 30\n for lldp_txIntval_ctrl "
    "notes:\n\t lldp tx interval default 30 seconds\n\n";
const char wol_mode_usage[] =
    " for wol mode ctrl:\n\t<wol_mode_port0> <wol_mode_port1> <wol_mode_port2> "
    "<wol_mode_port3>\n\tie: 0x0 0x0 0x0 0x0\n for wol_mode_ctrl notes:\n\t "
    "<disable:0>,<tx:1>,<rx:2>,<txrx:3>\n\n";
const char wol_en_usage[] =
    " for wol enable ctrl:\n\t<wol_en_port0> <wol_en_port1> <wol_en_port2> <wol_en_port3>\n\tie: "
    "0x0 0x0 0x0 0x0\n for wol_en_ctrl notes:\n\t <disable:0>,<enable:1>\n\n";
const char pack_id_usage[] =
    " for pack_id set:\n\t<id0_group> <id0_pin> <id1_group> <id1_pin>\n\tie: 0x0 0x0 0x0 0x0\n "
    "for pack_id set notes:\n\t <group:0-3>,<pin:0-3>\n\n";
const char force_state_usage[] =
    " for force state ctrl:\n\t<force_state_port0> <force_state_port1> <force_state_port2> "
    "<force_state_port3>\n\tie: 0x0 0x0 0x0 0x0\n for force state ctrl notes:\n\t "
    "<disable:0>,<enable:1>\n\n";

namespace {

enum class reading { hex_unsigned, auto_signed };

// One option of the family: its message on a missing value (a format taking
// the text before the parse and the usage text), its usage text, and how its
// numbers are read.
struct member {
    const char* message;
    const char* usage;
    reading how;
};

constexpr member LED{"invalid led input[%s]: Usage:\n%s", led_input_usage, reading::hex_unsigned};
constexpr member LLDP_STATUS{"invalid lldp status input[%s]: Usage:\n%s", lldp_status_usage,
                             reading::auto_signed};
constexpr member LLDP_TX{"invalid lldp txIntval input[%s]: Usage:\n%s", lldp_txIntval_usage,
                         reading::auto_signed};
constexpr member WOL_MODE{"invalid wol mode input[%s]: Usage:\n%s", wol_mode_usage,
                          reading::auto_signed};
constexpr member WOL_EN{"invalid en mode input[%s]: Usage:\n%s", wol_en_usage,
                        reading::auto_signed};
constexpr member PACK_ID{"invalid pack id input[%s]: Usage:\n%s", pack_id_usage,
                         reading::auto_signed};
constexpr member FORCE_STATE{"invalid force state input[%s]: Usage:\n%s", force_state_usage,
                             reading::auto_signed};

constexpr int VALUES_PER_TEXT = 4;

// Cuts a copy of the text at single spaces (two spaces make an empty token,
// which reads as 0) and hands each of the first four values to
// store(index, low 32 bits) as soon as it is read.
template <typename Store>
int parse_four_values(const char* text, const member& m, Store store) {
    if (text == nullptr)
        text = "";
    token_cutter tokens(text);
    for (int i = 0; i < VALUES_PER_TEXT; ++i) {
        const auto token = tokens.next(' ');
        if (!token) {
            messages().print(m.message, text, m.usage);
            return -EINVAL;
        }
        store(i, m.how == reading::hex_unsigned ? read_hex_number(*token)
                                                : read_auto_number(*token));
    }
    return 0;
}

// Byte fields keep the low 8 bits, so -1 becomes the 0xff "not set" marker.
u8 low_byte(u32 v) { return static_cast<u8>(v); }
std::int32_t as_signed(u32 v) { return static_cast<std::int32_t>(v); }

int mark_changed() {
    ucfg_mac_sn_dirty = 1;
    return 0;
}

using option_parser = int (*)(const char* text, ucfg_mac_sn* record);
struct option_step {
    const char* text;  // empty: the option was not given
    option_parser parse;
};

result run_batch(ucfg_mac_sn* record, std::initializer_list<option_step> steps, int (*mark)(ucfg_mac_sn*)) {
    bool any = false;
    for (const auto& step : steps)
        any = any || step.text[0] != '\0';
    if (!any)
        return {};
    record->magic = MAC_SN_MAGIC;
    for (const auto& step : steps)
        if (step.text[0] != '\0' && step.parse(step.text, record) != 0)
            return result::fail(fault_code::invalid_value, step.text);
    mark(record);
    return {};
}

}  // namespace

int str_2_led_conf(const char* text, led_bitmap_t* led) {
    u32* const words[] = {&led->led_ctrl, &led->active_timeout_thre, &led->blink_high_thre,
                          &led->blink_low_thre};
    return parse_four_values(text, LED, [&](int i, u32 v) { *words[i] = v; });
}

int str_2_lldp_status_conf(const char* text, ucfg_mac_sn* record) {
    return parse_four_values(text, LLDP_STATUS,
                             [&](int i, u32 v) { set_port_feature(*record, port_feature::lldp_status, i, v); });
}

int str_2_lldp_txIntval_conf(const char* text, ucfg_mac_sn* record) {
    return parse_four_values(text, LLDP_TX,
                             [&](int i, u32 v) { set_port_feature(*record, port_feature::lldp_interval, i, v); });
}

int str_2_wol_mode_conf(const char* text, ucfg_mac_sn* record) {
    return parse_four_values(text, WOL_MODE,
                             [&](int i, u32 v) { set_port_feature(*record, port_feature::wol_mode, i, v); });
}

int str_2_wol_en_conf(const char* text, ucfg_mac_sn* record) {
    return parse_four_values(text, WOL_EN,
                             [&](int i, u32 v) { set_port_feature(*record, port_feature::wol_enable, i, v); });
}

int str_2_pack_id_conf(const char* text, ucfg_mac_sn* record) {
    // Token order: id0 group, id0 pin, id1 group, id1 pin.
    return parse_four_values(text, PACK_ID, [&](int i, u32 v) {
        set_pack_id(*record, i / 2, i % 2 == 0 ? pack_id_part::group : pack_id_part::pin, v);
    });
}

int str_2_force_state_conf(const char* text, ucfg_mac_sn* record) {
    return parse_four_values(text, FORCE_STATE,
                             [&](int i, u32 v) { set_port_feature(*record, port_feature::force_state, i, v); });
}

void set_port_feature(ucfg_mac_sn& record, port_feature feature, int port, u32 value) {
    switch (feature) {
    case port_feature::lldp_status: record.lldp_admStatus[port] = low_byte(value); break;
    case port_feature::lldp_interval: record.lldp_txIntval[port] = low_byte(value); break;
    case port_feature::wol_mode: record.wol_info[port].wol_mode = as_signed(value); break;
    case port_feature::wol_enable: record.wol_info[port].wol_en = as_signed(value); break;
    case port_feature::force_state: record.force_status[port] = as_signed(value); break;
    }
}

void set_pack_id(ucfg_mac_sn& record, int id, pack_id_part part, u32 value) {
    pin& p = record.pack_id[id];
    (part == pack_id_part::group ? p.group : p.pin) = low_byte(value);
}

int do_led_set(ucfg_mac_sn*) { return mark_changed(); }
int do_lldp_set(ucfg_mac_sn*) { return mark_changed(); }
int do_wol_set(ucfg_mac_sn*) { return mark_changed(); }
int do_pack_id_set(ucfg_mac_sn*) { return mark_changed(); }
int do_force_state_set(ucfg_mac_sn*) { return mark_changed(); }

result cfg_led_batch_set(ucfg_mac_sn* record, const char* led) {
    const option_parser parse_led = [](const char* text, ucfg_mac_sn* r) {
        return str_2_led_conf(text, &r->led_bitmap);
    };
    return run_batch(record, {{led, parse_led}}, do_led_set);
}

result cfg_lldp_batch_set(ucfg_mac_sn* record, const char* status, const char* interval) {
    return run_batch(record, {{status, str_2_lldp_status_conf}, {interval, str_2_lldp_txIntval_conf}}, do_lldp_set);
}

result cfg_wol_batch_set(ucfg_mac_sn* record, const char* mode, const char* enable) {
    return run_batch(record, {{mode, str_2_wol_mode_conf}, {enable, str_2_wol_en_conf}}, do_wol_set);
}

result cfg_pack_id_batch_set(ucfg_mac_sn* record, const char* pack_id) {
    return run_batch(record, {{pack_id, str_2_pack_id_conf}}, do_pack_id_set);
}

result cfg_force_state_batch_set(ucfg_mac_sn* record, const char* force_state) {
    return run_batch(record, {{force_state, str_2_force_state_conf}}, do_force_state_set);
}
