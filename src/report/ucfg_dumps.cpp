#include "ucfg_dumps.h"

#include <algorithm>
#include <cstdio>

#include "devices/port_count.h"
#include "ucfg_view.h"
#include "base/message_sink.h"

namespace {

constexpr u8 UNSET_U8 = 0xff;
constexpr std::int32_t UNSET_S32 = -1;
constexpr char FULL_DUMP_INVALID[] = "invalid ma-sn part";
constexpr char TOPIC_DUMP_INVALID[] = "invalid user cfg part";

// Hands the stored record to `print` when it is valid; otherwise the
// channel's fault, or failed after `what` and the magic.
template <typename Print>
result with_valid(flash_access& flash, const eth_dev* dev, const char* what, Print print) {
    const ucfg_mac_sn record = load_report_record(flash, dev);
    if (!flash.fault().ok())
        return flash.fault();
    if (record.magic != MAC_SN_MAGIC) {
        messages().print("%s", what);
        messages().print("magic: %08x", static_cast<unsigned>(record.magic));
        return result::fail(fault_code::failed, std::string(what));
    }
    print(record);
    return {};
}

// Rows of a per-port table: the card's ports, never more than the record holds.
int port_rows(const eth_dev* dev) { return std::min(net_card_max_port_cnt(dev), MAX_PORTS); }

// The start of a table row: "port0:", "id1:", ...
void print_row_label(const char* label, int i) { messages().print("%s%d:", label, i); }

// One column: " %<width>u", or "-" right-aligned in the width when unset.
void print_column(int width, bool unset, unsigned value) {
    if (unset)
        messages().print(" %*s", width, "-");
    else
        messages().print(" %*u", width, value);
}

// The last column of a row: a set value keeps a blank before the newline.
void print_last_column(int width, bool unset, unsigned value) {
    print_column(width, unset, value);
    messages().print(unset ? "\n" : " \n");
}

// A text field: its 32 bytes in hex, `indent`, then its characters up to the
// first byte of 0x80 or above (zero bytes included), and a newline.
void print_text_field(const char* label, const u8 (&field)[UCFG_TEXT_LEN], const char* indent) {
    messages().print("%s", label);
    for (u8 b : field)
        messages().print("%02x", b);
    messages().print("\n%s", indent);
    messages().write(std::string_view(reinterpret_cast<const char*>(field),
                                      static_cast<std::size_t>(pn_sn_dlen(field, UCFG_TEXT_LEN))));
    messages().print("\n");
}

void print_si_table(const ucfg_mac_sn& r, int ports) {
    messages().print("si_valid:0x%016x\n", r.si_valid_flags);
    messages().print("lane  : main  pre  post boost\n");
    for (int i = 0; i < ports; ++i) {
        const si& v = r.si[i];
        const bool unset = v.tx_eq_main == UNSET_U8;
        print_row_label("port", i);
        for (u8 value : {v.tx_eq_main, v.tx_eq_pre, v.tx_eq_post, v.boost})
            print_column(4, unset, value);
        messages().print("\n");
    }
}

// `heading`: the full dump's says "txIntval", the LLDP dump's "txVal".
void print_lldp_table(const ucfg_mac_sn& r, int ports, const char* heading) {
    messages().print("%s\n", heading);
    for (int i = 0; i < ports; ++i) {
        print_row_label("port", i);
        print_column(5, r.lldp_admStatus[i] == UNSET_U8, r.lldp_admStatus[i]);
        print_last_column(5, r.lldp_txIntval[i] == UNSET_U8, r.lldp_txIntval[i]);
    }
}

void print_wol_table(const ucfg_mac_sn& r, int ports) {
    messages().print("wol  : enable  mode\n");
    for (int i = 0; i < ports; ++i) {
        const wol_cfg& w = r.wol_info[i];
        print_row_label("port", i);
        print_column(6, w.wol_en == UNSET_S32, static_cast<unsigned>(w.wol_en));
        print_last_column(6, w.wol_mode == UNSET_S32, static_cast<unsigned>(w.wol_mode));
    }
}

// `heading`: the force-state dump's ends with a blank, the full dump's does not.
void print_force_state_table(const ucfg_mac_sn& r, int ports, const char* heading) {
    messages().print("%s\n", heading);
    for (int i = 0; i < ports; ++i) {
        print_row_label("port", i);
        print_column(8, r.force_status[i] == UNSET_S32, static_cast<unsigned>(r.force_status[i]));
        messages().print("\n");
    }
}

// Always both pins; rows are labelled "id%d:" in the full dump, "port%d:" in the pack-id dump.
void print_pack_id_table(const ucfg_mac_sn& r, const char* row_label) {
    messages().print("pack_id  : group  pin\n");
    for (int i = 0; i < 2; ++i) {
        print_row_label(row_label, i);
        print_column(6, r.pack_id[i].group == UNSET_U8, r.pack_id[i].group);
        print_last_column(6, r.pack_id[i].pin == UNSET_U8, r.pack_id[i].pin);
    }
}

void print_pcfg(const usr_pci_cfg& pcfg) {
    messages().print("pcfg:0x08%x\n", pcfg.v);
    messages().print("pcfg-valid:0x%x, force_1g:%d preset:%d\n", pcfg.valid(), static_cast<int>(pcfg.force_speed_by_user()),
                static_cast<int>(pcfg.pci_preset()));
}

void print_led(const led_bitmap_t& led) {
    messages().print("led_ctrl:0x%x, act_tmout:0x%x, blk_thre_h:0x%x, blk_thre_l:0x%x\n", led.led_ctrl,
                led.active_timeout_thre, led.blink_high_thre, led.blink_low_thre);
}

void print_full_dump(const ucfg_mac_sn& r, int ports) {
    print_mac_lines(r, ports);
    messages().print("\nmagic: 0x%08x\n", static_cast<unsigned>(r.magic));
    print_text_field("sn:", r.sn, "   ");
    print_text_field("pn:", r.pn, "   ");
    print_si_table(r, ports);
    messages().print("\n");
    print_lldp_table(r, ports, "lldp  : status  txIntval");
    messages().print("\n");
    print_wol_table(r, ports);
    messages().print("\n");
    print_force_state_table(r, ports, "force state: enable");
    messages().print("\n");
    print_pcfg(r.pcfg);
    messages().print("\n");
    print_led(r.led_bitmap);
    messages().print("\n");
    print_text_field("pName:", r.pName, "");
    print_pack_id_table(r, "id");
    messages().print("\n");
}

}  // namespace

result do_dump_ucfg_mac_sn(flash_access& flash, const eth_dev* dev) {
    const int ports = port_rows(dev);
    return with_valid(flash, dev, FULL_DUMP_INVALID, [ports](const ucfg_mac_sn& r) { print_full_dump(r, ports); });
}

result do_dump_ucfg_si(flash_access& flash, const eth_dev* dev) {
    const int ports = port_rows(dev);
    return with_valid(flash, dev, TOPIC_DUMP_INVALID, [ports](const ucfg_mac_sn& r) { print_si_table(r, ports); });
}

result do_dump_ucfg_lldp(flash_access& flash, const eth_dev* dev) {
    const int ports = port_rows(dev);
    return with_valid(flash, dev, TOPIC_DUMP_INVALID,
                      [ports](const ucfg_mac_sn& r) { print_lldp_table(r, ports, "lldp  : status  txVal"); });
}

result do_dump_ucfg_wol(flash_access& flash, const eth_dev* dev) {
    const int ports = port_rows(dev);
    return with_valid(flash, dev, TOPIC_DUMP_INVALID, [ports](const ucfg_mac_sn& r) { print_wol_table(r, ports); });
}

result do_dump_ucfg_force_state(flash_access& flash, const eth_dev* dev) {
    const int ports = port_rows(dev);
    return with_valid(flash, dev, TOPIC_DUMP_INVALID,
                      [ports](const ucfg_mac_sn& r) { print_force_state_table(r, ports, "force state: enable "); });
}

result do_dump_ucfg_pack_id(flash_access& flash, const eth_dev* dev) {
    return with_valid(flash, dev, TOPIC_DUMP_INVALID, [](const ucfg_mac_sn& r) { print_pack_id_table(r, "port"); });
}
