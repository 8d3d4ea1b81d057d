#include "ucfg/identity.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/message_sink.h"

namespace {

// `label` names the field in the cut warning ("sn", "pn", "product name").
int store_text_field(u8 (&field)[UCFG_TEXT_LEN], const char* text, const char* label,
                     const char* failure) {
    std::size_t len = std::strlen(text);
    if (len > UCFG_TEXT_LEN) {
        messages().print("Warin: %s > %lu. cut to 32bytes\n", label,
                    static_cast<unsigned long>(UCFG_TEXT_LEN));
        len = UCFG_TEXT_LEN;
    }
    std::memset(field, 0, sizeof(field));
    std::memcpy(field, text, len);
    if (std::memcmp(field, text, len) != 0) {
        messages().print("%s\n", failure);
        return -1;
    }
    ucfg_mac_sn_dirty = 1;
    return 0;
}

int check_args(const ucfg_mac_sn* record, const char* text) {
    if (record == nullptr) {
        messages().print("sn load faild!\n");
        return -EIO;
    }
    return text == nullptr ? -EINVAL : 0;
}

}  // namespace

int set_text(ucfg_mac_sn& record, record_text field, const char* text) {
    if (const int rc = check_args(&record, text); rc != 0)
        return rc;
    switch (field) {
    case record_text::serial: return store_text_field(record.sn, text, "sn", "set SN failed ");
    case record_text::part_number: return store_text_field(record.pn, text, "pn", "set PN failed ");
    case record_text::product_name:
        return store_text_field(record.pName, text, "product name", "set product name failed ");
    }
    return -EINVAL;
}

int sn_pn_set(ucfg_mac_sn* record, const char* text, int which) {
    if (const int rc = check_args(record, text); rc != 0)
        return rc;
    return set_text(*record, which ? record_text::serial : record_text::part_number, text);
}

int pName_set(ucfg_mac_sn* record, const char* text) {
    if (const int rc = check_args(record, text); rc != 0)
        return rc;
    return set_text(*record, record_text::product_name, text);
}

int set_lane_flag(ucfg_mac_sn& record, int port, lane_flag flag, bool on) {
    const int v = on ? 1 : 0;
    switch (flag) {
    case lane_flag::autoneg: return lane_misc_set(&record, port, v, -1, -1);
    case lane_flag::link_training: return lane_misc_set(&record, port, -1, v, -1);
    case lane_flag::fec: return lane_misc_set(&record, port, -1, -1, v);
    }
    return -1;
}

int lane_misc_set(ucfg_mac_sn* record, int port, int an, int link_traing, int fec) {
    if (port < 0 || port >= MAX_PORTS)
        return -1;
    record->magic = MAC_SN_MAGIC;
    const struct {
        int value;
        u8 mask;
    } flags[] = {{an, LANE_AN_EN}, {link_traing, LANE_LINK_TRAING}, {fec, LANE_FEC_EN}};
    for (const auto& f : flags) {
        if (f.value < 0)
            continue;
        record->fun_valid[port].v |= f.mask;
        if (f.value != 0)
            record->fun_flags[port].v |= f.mask;
        else
            record->fun_flags[port].v &= static_cast<u8>(~f.mask);
        ucfg_mac_sn_dirty = 1;
    }
    return 0;
}
