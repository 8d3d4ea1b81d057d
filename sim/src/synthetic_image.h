// Synthetic flash content: firmware images for make-fw and the factory
// content of a fresh simulated flash. Every byte is generated here from a
// fixed pattern and the given settings; nothing comes from real firmware.
#pragma once

#include <string>
#include <vector>

#include "record/cfg.h"
#include "sim_config.h"
#include "base/types.h"

namespace zsim {

struct fw_image_params {
    u32 size = 0x41000;        // whole image, bytes
    u32 chip_group = 0;        // boot configuration page word reserved1
    bool crc = false;          // stamp the CRC trailer
    u32 cfg_offset = 0x40000;  // where the factory net_config goes
    u16 device = KV9_4_PORT_DEV;       // PCI device id recorded in net_config
    mac_addr mac = {0x02, 0x5a, 0xe1, 0x00, 0x00, 0x00};
    int ports = 4;
};

// Boot configuration page, pattern, factory net_config (when the image
// reaches past it) and optional trailer. Throws sim_error for an image too
// short for its page (64 bytes) or, with `crc`, for its trailer (512 bytes).
std::vector<u8> make_fw_image(const fw_image_params& params);

// A consistent factory record (csum over its own len) for a card.
net_config make_net_config(u16 device, const mac_addr& base, int ports);

// A valid user record holding the card's port addresses and serial number.
ucfg_mac_sn make_user_record(u16 device, const mac_addr& base, int ports, const std::string& sn);

// The whole flash of a factory-fresh card: firmware with its factory record,
// the user record, erased PCS/PHY and PXE areas.
std::vector<u8> factory_flash(const card_cfg& card);

}  // namespace zsim
