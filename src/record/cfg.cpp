#include "cfg.h"

#include <cstdio>
#include <cstring>

#include "base/message_sink.h"

constinit thread_local int ucfg_mac_sn_dirty = 0;

int ucfg_mac_sn_reset(ucfg_mac_sn* record, bool trace) {
    if (trace)
        messages().print("ucfg_mac_sn_reset\n");
    // 0xff is "not set" in byte fields and -1 in 32-bit ones; the MAC slots
    // are left as they are (erased flash, or the image's 0xff fill).
    std::memset(record->si, 0xff, sizeof(record->si));
    std::memset(record->fun_flags, 0, sizeof(record->fun_flags));
    std::memset(record->fun_valid, 0, sizeof(record->fun_valid));
    record->si_valid_flags = 0;
    record->magic = MAC_SN_MAGIC;
    std::memset(record->sn, 0, sizeof(record->sn));
    std::memset(record->pn, 0, sizeof(record->pn));
    std::memset(record->pName, 0, sizeof(record->pName));
    record->pcfg.v = 0;
    std::memset(&record->led_bitmap, 0, sizeof(record->led_bitmap));
    std::memset(record->lldp_admStatus, 0xff, sizeof(record->lldp_admStatus));
    std::memset(record->lldp_txIntval, 0xff, sizeof(record->lldp_txIntval));
    std::memset(record->wol_info, 0xff, sizeof(record->wol_info));
    std::memset(record->pack_id, 0xff, sizeof(record->pack_id));
    std::memset(record->force_status, 0xff, sizeof(record->force_status));
    std::memset(record->resv, 0xff, sizeof(record->resv));
    return 0;
}
