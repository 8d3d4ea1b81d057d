#include "ucfg_view.h"

#include <cstdio>

#include "ucfg/ucfg_store.h"
#include "base/message_sink.h"

ucfg_mac_sn load_report_record(flash_access& flash, const eth_dev* dev) {
    ucfg_mac_sn record{};
    if (load_mac_sn(flash, dev, &record) != 0)
        record = ucfg_mac_sn{};  // whatever a failed load left: report magic 0
    return record;
}

int pn_sn_dlen(const u8* text, int size) {
    int len = 0;
    while (len < size && text[len] < 0x80)
        ++len;
    return len;
}

void print_mac_lines(const ucfg_mac_sn& record, int ports) {
    for (int i = 0; i < ports && i < MAX_PORTS; ++i) {
        const u8* m = record.macaddr[i];
        messages().print("%d %02x:%02x:%02x:%02x:%02x:%02x\n", i, m[0], m[1], m[2], m[3], m[4], m[5]);
    }
}
