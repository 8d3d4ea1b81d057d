#include "file_eeprom.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "record/cfg.h"
#include "base/flash_layout.h"
#include "maintain/maintain.h"
#include "partion_delivery.h"
#include "base/message_sink.h"

namespace {

// The default flash layout; the user area serves just the record.
constexpr const flash_layout& L = DEFAULT_FLASH_LAYOUT;
constexpr eeprom_partion EEPROM_MAP[] = {
    {PART_FW, int(L.fw.off), int(L.fw.size)},
    {PART_CFG, int(L.cfg.off), int(L.cfg.size)},
    {PART_MAC_ADDR, int(L.ucfg.off), UCFG_MAC_SN_SZ},
    {PCSPHY, int(L.pcsphy.off), int(L.pcsphy.size)},
    {IPXE, int(L.pxe.off), int(L.pxe.size)},
};

}  // namespace

std::optional<eeprom_partion> find_eeprom_partion(int partion) {
    for (const eeprom_partion& p : EEPROM_MAP)
        if (p.partion == partion)
            return p;
    return std::nullopt;
}

flash_outcome read_fake_file_eeprom_partion(std::span<const u8> image, int partion, const char* out_bin_fname,
                                            std::span<u8> out_buf) {
    const std::optional<eeprom_partion> part = find_eeprom_partion(partion);
    if (!part) {
        messages().print("invalid partion: %d \n", partion);
        return run_ending(-EINVAL, fault_code::failed, "invalid partion: " + std::to_string(partion));
    }
    if (static_cast<std::size_t>(part->offset) + static_cast<std::size_t>(part->size) > image.size()) {
        messages().print("above eeprom size: part:%d in-size:%d\n", partion, static_cast<int>(image.size()));
        return {0, {}};
    }
    const int delivered = deliver_partion(
        image.subspan(static_cast<std::size_t>(part->offset), static_cast<std::size_t>(part->size)), out_bin_fname,
        out_buf);
    return {delivered < 0 ? delivered : part->size, {}};
}

int file_eeprom::read_flash_partion(const eth_dev* dev, int partion, const char* out_bin_fname,
                                    std::span<u8> out_buf) {
    if (run_ended())
        return -ECANCELED;
    if (!partion_in_range(partion) || dev == nullptr || dev != fake_net_dev_)
        return -EINVAL;
    return settle(read_fake_file_eeprom_partion(image_, partion, out_bin_fname, out_buf));
}

int file_eeprom::write_flash_partion(const eth_dev* dev, int partion, std::span<const u8>) {
    if (dev == nullptr) {
        messages().print("eth_dev is null!\n");
        return -EINVAL;
    }
    return dev == fake_net_dev_ && partion_in_range(partion) ? 0 : -EINVAL;
}
