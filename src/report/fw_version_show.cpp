#include "fw_version_show.h"

#include <cstdio>
#include <span>

#include "maintain/maintain.h"
#include "base/message_sink.h"

int get_fw_version(flash_access& flash, const eth_dev* dev, fw_version* version) {
    const std::span<u8> room(reinterpret_cast<u8*>(version), sizeof(*version));
    const int got = flash.read_flash_partion(dev, VERSION_INFO, nullptr, room);
    return got >= static_cast<int>(sizeof(*version)) && version->magic == FW_VERSION_MAGIC ? 0 : -1;
}

void show_fw_version(flash_access& flash, const eth_dev* dev) {
    fw_version v{};
    if (get_fw_version(flash, dev, &v) != 0) {
        if (!flash.fault().ok())
            return;  // the run ends; its fault has been shown
        messages().print(" show fw version not supported!\n");
        return;
    }
    const u32 fw = v.cur_fw_version, pxe = v.cur_pxe_version;
    messages().print(" FW\t: %u.%u.%u.%u\n", fw >> 24, (fw >> 16) & 0xffu, (fw >> 8) & 0xffu, fw & 0xffu);
    messages().print(" PXE\t: %u.%u.%u\n", pxe & 0xffu, (pxe >> 8) & 0xffu, (pxe >> 16) & 0xffu);
}
