#include "ucfg_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>
#include <vector>

#include "maintain/maintain.h"
#include "base/message_sink.h"

namespace {

// Room for any reply of the record's partition, in either mode.
constexpr int UCFG_SCRATCH_SZ = 4096;
constexpr u8 ERASED_BYTE = 0xff;

std::span<const u8> record_bytes(const ucfg_mac_sn* record) {
    return {reinterpret_cast<const u8*>(record), sizeof(*record)};
}

}  // namespace

int load_mac_sn(flash_access& flash, const eth_dev* dev, ucfg_mac_sn* record, bool trace) {
    if (dev == nullptr || record == nullptr)
        return -1;
    // Bytes a short read does not deliver stay as erased flash, so the magic
    // check below decides whether anything usable arrived.
    std::vector<u8> scratch(UCFG_SCRATCH_SZ, ERASED_BYTE);
    const int got = flash.read_flash_partion(dev, PART_MAC_ADDR, nullptr, scratch);
    if (got < 0) {
        if (flash.fault().ok())  // a run-ending fault has said all there is to say
            messages().print("io eeprom error!");
        return got;
    }
    std::memcpy(record, scratch.data(), sizeof(*record));
    if (record->magic != MAC_SN_MAGIC)
        ucfg_mac_sn_reset(record, trace);
    return 0;
}

int save_mac_sn(flash_access& flash, const eth_dev* dev, const ucfg_mac_sn* record, bool trace) {
    if (record == nullptr)
        return -1;
    const std::span<const u8> wanted = record_bytes(record);
    for (int attempt = 0; attempt < UCFG_SAVE_ATTEMPTS && flash.fault().ok(); ++attempt) {
        if (flash.write_flash_partion(dev, PART_MAC_ADDR, wanted) != 0)
            continue;
        ucfg_mac_sn stored;
        if (load_mac_sn(flash, dev, &stored, trace) != 0)
            continue;
        if (std::ranges::equal(record_bytes(&stored), wanted))
            return 0;
    }
    return -1;
}

int reset_ucfg_mac_sn(flash_access& flash, const eth_dev* dev) {
    const std::vector<u8> erased(UCFG_MAC_SN_SZ, ERASED_BYTE);
    messages().print("reset_ucfg_mac_sn\n");
    if (!flash.keeps_writes())
        return flash.write_flash_partion(dev, PART_MAC_ADDR, erased) < 0 ? -1 : 0;
    // Checked like a save: a lost erase would leave the old record to be
    // loaded, changed and saved again as if it had been erased.
    for (int attempt = 0; attempt < UCFG_SAVE_ATTEMPTS && flash.fault().ok(); ++attempt) {
        if (flash.write_flash_partion(dev, PART_MAC_ADDR, erased) < 0)
            continue;
        std::vector<u8> stored(UCFG_SCRATCH_SZ, 0);
        const int got = flash.read_flash_partion(dev, PART_MAC_ADDR, nullptr, stored);
        if (got >= UCFG_MAC_SN_SZ && std::ranges::equal(std::span(stored).first(erased.size()), erased))
            return 0;
    }
    return -1;
}
