// Byte layout of a controller's flash, which is also the layout of a complete
// flash image file. Two chip layouts exist: the default one (every chip group
// but KV3) and the smaller one of the single-port KV3 controller. Offsets and
// sizes are in bytes from the start of flash; each layout's areas tile it
// without gaps.
#pragma once

#include "chip_ids.h"
#include "types.h"

// Default layout.
constexpr int FW_PARTION = 0x00000;
constexpr int FW_MAX_SZ = 0x40000;
constexpr int CFG_PARTION = 0x40000;  // factory configuration, net_config
constexpr int CFG_MAX_SZ = 0x1000;
constexpr int UCFG_MAC_SN_PARTION = 0x41000;  // user configuration, ucfg_mac_sn
constexpr int UCFG_MAX_SZ = 0x1000;
constexpr int PCSPHY_PARTION = 0x42000;
constexpr int PCSPHY_MAX_SZ = 0x8000;
constexpr int PXE_PART_PARTION = 0x4A000;
constexpr int PXE_MAX_SZ = 0x80000;
// Firmware plus factory configuration: what a firmware image normally covers.
constexpr int FW_BIN_DEFAULT_IMG_BIN_SZ = FW_MAX_SZ + CFG_MAX_SZ;
// End of the PXE area: the largest image.
constexpr int FW_BIN_MAX_SZ = FW_BIN_DEFAULT_IMG_BIN_SZ + UCFG_MAX_SZ + PCSPHY_MAX_SZ + PXE_MAX_SZ;

// KV3 layout.
constexpr int KV3_FW_PARTION = 0x00000;
constexpr int KV3_FW_MAX_SZ = 0x1D000;
constexpr int KV3_CFG_PARTION = 0x1D000;
constexpr int KV3_CFG_MAX_SZ = 0x1000;
constexpr int KV3_UCFG_MAC_SN_PARTION = 0x1E000;
constexpr int KV3_UCFG_MAX_SZ = 0x1000;
constexpr int KV3_TRIM_INFO_OFF = 0x1F000;
constexpr int KV3_TRIM_INFO_SZ = 0x1000;
constexpr int KV3_PXE_PART_PARTION = 0x20000;
constexpr int KV3_PXE_MAX_SZ = 0x60000;
constexpr int KV3_FW_BIN_DEFAULT_IMG_BIN_SZ = KV3_FW_MAX_SZ + KV3_CFG_MAX_SZ;
constexpr int KV3_FW_BIN_MAX_SZ =
    KV3_FW_BIN_DEFAULT_IMG_BIN_SZ + KV3_UCFG_MAX_SZ + KV3_TRIM_INFO_SZ + KV3_PXE_MAX_SZ;


static_assert(FW_PARTION + FW_MAX_SZ == CFG_PARTION);
static_assert(CFG_PARTION + CFG_MAX_SZ == UCFG_MAC_SN_PARTION);
static_assert(UCFG_MAC_SN_PARTION + UCFG_MAX_SZ == PCSPHY_PARTION);
static_assert(PCSPHY_PARTION + PCSPHY_MAX_SZ == PXE_PART_PARTION);
static_assert(PXE_PART_PARTION + PXE_MAX_SZ == FW_BIN_MAX_SZ);
static_assert(FW_BIN_DEFAULT_IMG_BIN_SZ == 0x41000 && FW_BIN_MAX_SZ == 0xCA000);

static_assert(KV3_FW_PARTION + KV3_FW_MAX_SZ == KV3_CFG_PARTION);
static_assert(KV3_CFG_PARTION + KV3_CFG_MAX_SZ == KV3_UCFG_MAC_SN_PARTION);
static_assert(KV3_UCFG_MAC_SN_PARTION + KV3_UCFG_MAX_SZ == KV3_TRIM_INFO_OFF);
static_assert(KV3_TRIM_INFO_OFF + KV3_TRIM_INFO_SZ == KV3_PXE_PART_PARTION);
static_assert(KV3_PXE_PART_PARTION + KV3_PXE_MAX_SZ == KV3_FW_BIN_MAX_SZ);
static_assert(KV3_FW_BIN_DEFAULT_IMG_BIN_SZ == 0x1E000 && KV3_FW_BIN_MAX_SZ == 0x80000);

// One chip layout as a table: where each area lies, and the chip group whose
// images it serves. The simulator's flash, the file-backed road and image
// generation all read their geometry from here.
struct flash_area {
    u32 off;
    u32 size;
};
struct flash_layout {
    u32 flash_size;     // bytes of the whole flash: the end of the PXE area
    flash_area fw;      // firmware code
    flash_area cfg;     // factory configuration, net_config
    flash_area ucfg;    // user configuration area, ucfg_mac_sn at its start
    flash_area pcsphy;  // what the PCSPHY partition covers (KV3: the trim area)
    flash_area pxe;
    u32 chip_group;

    // Firmware plus factory configuration: what a firmware image normally covers.
    constexpr int default_img_sz() const { return static_cast<int>(fw.size + cfg.size); }
    // The end of the user area: the least length of an image that carries a record.
    constexpr int ucfg_end() const { return static_cast<int>(ucfg.off + ucfg.size); }
};

inline constexpr flash_layout DEFAULT_FLASH_LAYOUT{
    FW_BIN_MAX_SZ,
    {FW_PARTION, FW_MAX_SZ},
    {CFG_PARTION, CFG_MAX_SZ},
    {UCFG_MAC_SN_PARTION, UCFG_MAX_SZ},
    {PCSPHY_PARTION, PCSPHY_MAX_SZ},
    {PXE_PART_PARTION, PXE_MAX_SZ},
    KV9_CHIP_GROUP,
};
inline constexpr flash_layout KV3_FLASH_LAYOUT{
    KV3_FW_BIN_MAX_SZ,
    {KV3_FW_PARTION, KV3_FW_MAX_SZ},
    {KV3_CFG_PARTION, KV3_CFG_MAX_SZ},
    {KV3_UCFG_MAC_SN_PARTION, KV3_UCFG_MAX_SZ},
    {KV3_TRIM_INFO_OFF, KV3_TRIM_INFO_SZ},
    {KV3_PXE_PART_PARTION, KV3_PXE_MAX_SZ},
    KV3_CHIP_GROUP,
};

// The KV3 layout for KV3_CHIP_GROUP, the default layout for any other value.
constexpr const flash_layout& layout_for_chip_group(u32 chip_group) {
    return chip_group == KV3_CHIP_GROUP ? KV3_FLASH_LAYOUT : DEFAULT_FLASH_LAYOUT;
}

