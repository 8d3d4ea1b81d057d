#include "fw_prepare.h"

#include <algorithm>
#include <array>

#include "record/cfg.h"
#include "devices/port_count.h"
#include "devices/sysfs_file.h"
#include "maintain/maintain.h"
#include "crc32_info.h"
#include "image_file.h"

namespace {

fw_image refused(fw_refusal why, std::string message) {
    fw_image r;
    r.refusal = why;
    r.message = std::move(message);
    return r;
}

}  // namespace

fw_image prepare_fw_image(flash_access& flash, const eth_dev* dev, const char* path, bool overwrite_all_usr_cfg) {
    std::optional<std::vector<u8>> file = read_file(path);
    if (!file)
        return refused(fw_refusal::unreadable, cannot_read_message(path));
    return prepare_fw_bytes(std::move(*file), path, flash, dev, overwrite_all_usr_cfg);
}

fw_image prepare_fw_bytes(std::vector<u8> file, const char* path, flash_access& flash, const eth_dev* dev,
                          bool overwrite_all_usr_cfg) {
    if (file.size() < static_cast<std::size_t>(BOOT_PAGE_SZ))
        return refused(fw_refusal::too_small, std::string("fw bin too small: ") + path + "\n");
    const u32 card_group = dev ? chip_group_of_device(dev->ddevice) : 0;
    if (const char* refusal = card_chip_group_refusal(card_group, image_chip_group(file)))
        return refused(fw_refusal::wrong_chip_group, std::string(refusal) + "\n");

    fw_image img;
    img.bytes = std::move(file);
    // The trailer functions count in int; no flash comes near 2 GiB, and a
    // file that large is only ever checked over its first 2 GiB.
    const int len = static_cast<int>(std::min<std::size_t>(img.bytes.size(), 0x7FFFFFFF));
    switch (check_crc(img.bytes.data(), len)) {
    case -1:
        return refused(fw_refusal::bad_trailer, "file crc error\n");
    case 0:
        img.trailer = fw_trailer::renewed;
        break;
    default:
        img.trailer = fw_trailer::none;
        break;
    }

    const record_splice splice = user_record_splice(layout_for_chip_group(card_group), len);
    if (!overwrite_all_usr_cfg && splice.length > 0) {
        std::array<u8, UCFG_MAC_SN_SZ> record{};
        const int got = flash.read_flash_partion(dev, PART_MAC_ADDR, nullptr, record);
        if (got < UCFG_MAC_SN_SZ)
            return refused(fw_refusal::record_unreadable, "io eeprom error!");
        std::copy_n(record.begin(), splice.length, img.bytes.begin() + splice.offset);
        img.splice = splice;
    }

    if (img.trailer == fw_trailer::renewed)
        add_crc(img.bytes.data(), len);
    return img;
}
