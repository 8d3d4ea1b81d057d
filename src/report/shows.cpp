#include "shows.h"

#include <cstdio>
#include <cstring>

#include "devices/port_count.h"
#include "ucfg_view.h"
#include "base/message_sink.h"

namespace {

// The stored record; otherwise the channel's fault, or failed after
// "invalid ucfg-mac-sn magic:0x%x".
result load_valid(flash_access& flash, const eth_dev* dev, ucfg_mac_sn& record) {
    record = load_report_record(flash, dev);
    if (!flash.fault().ok())
        return flash.fault();
    if (record.magic == MAC_SN_MAGIC)
        return {};
    messages().print("invalid ucfg-mac-sn magic:0x%x\n", static_cast<unsigned>(record.magic));
    return result::fail(fault_code::failed, "invalid ucfg-mac-sn magic");
}

// "<label>: <text>", the text cut by the length rule and at a zero byte.
void print_text_line(const char* label, const u8 (&field)[UCFG_TEXT_LEN]) {
    char text[UCFG_TEXT_LEN + 1] = {};
    std::memcpy(text, field, static_cast<std::size_t>(pn_sn_dlen(field, UCFG_TEXT_LEN)));
    messages().print("%s: %s\n", label, text);
}

}  // namespace

result do_show_sn_pn(flash_access& flash, const eth_dev* dev, bool show_sn, bool show_pn) {
    ucfg_mac_sn record;
    if (result r = load_valid(flash, dev, record); !r.ok())
        return r;
    if (show_sn)
        print_text_line("sn", record.sn);
    if (show_pn)
        print_text_line("pn", record.pn);
    return {};
}

result do_show_pName(flash_access& flash, const eth_dev* dev, bool show_pName) {
    ucfg_mac_sn record;
    if (result r = load_valid(flash, dev, record); !r.ok())
        return r;
    if (show_pName)
        print_text_line("pName", record.pName);
    return {};
}

int do_show_mac(flash_access& flash, const eth_dev* dev, bool show_mac) {
    ucfg_mac_sn record;
    if (!load_valid(flash, dev, record).ok())
        return -1;
    if (show_mac)
        print_mac_lines(record, net_card_max_port_cnt(dev));
    return 0;
}
