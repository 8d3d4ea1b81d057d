#include "file_eeprom.h"

#include <cstdio>

#include "../exit_request.h"
#include "../maintain.h"
#include "partion_delivery.h"

namespace {

constexpr eeprom_partion EEPROM_MAP[] = {
    {PART_FW, 0x0, 0x40000},
    {PART_CFG, 0x40000, 0x1000},
    {PART_MAC_ADDR, 0x41000, 0x1e0},
    {PCSPHY, 0x42000, 0x8000},
    {IPXE, 0x4a000, 0x80000},
};

}  // namespace

std::optional<eeprom_partion> find_eeprom_partion(int partion) {
    for (const eeprom_partion& p : EEPROM_MAP)
        if (p.partion == partion)
            return p;
    return std::nullopt;
}

int read_fake_file_eeprom_partion(std::span<const u8> image, int partion, const char* out_bin_fname,
                                  std::span<u8> out_buf) {
    const std::optional<eeprom_partion> part = find_eeprom_partion(partion);
    if (!part) {
        std::printf("invalid partion: %d \n", partion);
        end_process(-1);
    }
    const int image_len = static_cast<int>(image.size());
    if (part->offset + part->size > image_len) {
        std::printf("above eeprom size: part:%d in-size:%d\n", partion, image_len);
        return 0;
    }
    deliver_partion(image.subspan(static_cast<std::size_t>(part->offset), static_cast<std::size_t>(part->size)),
                    out_bin_fname, out_buf);
    return part->size;
}
