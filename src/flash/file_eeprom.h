// A flash image file standing in for a card: partition reads are served from
// the image in memory, in the default flash layout.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "devices/eth_dev.h"
#include "base/types.h"
#include "flash_access.h"

// Where a partition lies in the image, in bytes. Sizes are those of the
// flash areas, which for PART_FW and PCSPHY differ from the live reply limits.
struct eeprom_partion {
    int partion;
    int offset;
    int size;
};

// The map entry of `partion`; none for partitions the image does not hold.
std::optional<eeprom_partion> find_eeprom_partion(int partion);

// Serves partition `partion` of `image` like a live read. Returns the
// partition's size, or 0 (with "above eeprom size: ...") when the image ends
// before the partition does, or -EIO when the dump file could not be written.
// A partition without a map entry prints "invalid partion: %d \n" and ends
// the run (fault failed).
flash_outcome read_fake_file_eeprom_partion(std::span<const u8> image, int partion, const char* out_bin_fname,
                                            std::span<u8> out_buf);

// The pseudo device's flash: reads come from the image, writes are accepted
// and dropped, so the file on disk never changes.
class file_eeprom final : public flash_access {
public:
    file_eeprom(const eth_dev* fake_net_dev, std::vector<u8> image)
        : fake_net_dev_(fake_net_dev), image_(std::move(image)) {}

    int read_flash_partion(const eth_dev* dev, int partion, const char* out_bin_fname,
                           std::span<u8> out_buf) override;
    int write_flash_partion(const eth_dev* dev, int partion, std::span<const u8> data) override;
    bool keeps_writes() const override { return false; }

private:
    const eth_dev* fake_net_dev_;
    std::vector<u8> image_;
};
