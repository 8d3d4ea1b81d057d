#include "factory_dump.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "record/cfg.h"
#include "base/flash_layout.h"
#include "maintain/maintain.h"
#include "base/message_sink.h"

namespace {

// Bytes a short reply does not deliver read as erased flash.
constexpr u8 ERASED_BYTE = 0xff;
constexpr int PHYS_SHOWN = 2;

const char* FLAG_STR(u16 flags, u16 bit) { return (flags & bit) ? "+" : "-"; }

void print_phy(int index, const net_phy_cfg& phy) {
    messages().print("phy%d\n    speed:%d lane_mask:%x main:%08x pre:%08x post:%08x boost:%04x-%04x-%04x-%04x\n", index,
                static_cast<int>(phy.speed), phy.used_lane_bitmap, phy.tx_eq_mains, phy.tx_eq_pres, phy.tx_eq_posts,
                phy.tx_boost[0], phy.tx_boost[1], phy.tx_boost[2], phy.tx_boost[3]);
}

}  // namespace

void do_dump_partion1(flash_access& flash, const eth_dev* dev) {
    // Room for a whole PART_CFG reply; the record is its first 1428 bytes.
    std::vector<u8> part(CFG_MAX_SZ, ERASED_BYTE);
    if (flash.read_flash_partion(dev, PART_CFG, nullptr, part) < 0)
        return;
    net_config cfg;
    std::memcpy(&cfg, part.data(), sizeof(cfg));
    const pci_cfg& pci = cfg.pci;
    const u16 f = pci.flags;

    messages().print("magic:0x%08x csum:0x%08x len:%d version:%08x\n\n", cfg.magic, cfg.csum, cfg.len,
                static_cast<unsigned>(cfg.version));
    messages().print("pci: gen%dx%d  pf0:%04x pf1:%04x subsys:%04x:%04x pci-disable%s\n", pci.pci_gen_speed, pci.pci_lanes,
                pci.pf0_device, pci.pf1_device, pci.subsystem_vendor, pci.subsystem_id, FLAG_STR(f, PCI_FLAG_DISABLE));
    messages().print("     uid:%04x preset:%d\n", pci.pci_uid, static_cast<int>(pci.preset()));
    messages().print("     no-bar0%s no-bar2%s nobar4%s novf%s novfbar0%s novfbar2%s novfbar4%s\n",
                FLAG_STR(f, PCI_FLAG_NO_BAR0), FLAG_STR(f, PCI_FLAG_NO_BAR2), FLAG_STR(f, PCI_FLAG_NO_BAR4),
                FLAG_STR(f, PCI_FLAG_NO_VF), FLAG_STR(f, PCI_FLAG_NO_VF_BAR0), FLAG_STR(f, PCI_FLAG_NO_VF_BAR2),
                FLAG_STR(f, PCI_FLAG_NO_VF_BAR4));
    messages().print("     rpu%s pxe%s pxe-efi%s none-pretchable%s  kv6%s fastlink%s enable_8MB%s\n",
                FLAG_STR(f, PCI_FLAG_RPU), FLAG_STR(f, PCI_FLAG_PXE_ENABLE), FLAG_STR(f, PCI_FLAG_PXE_UEFI),
                FLAG_STR(f, PCI_FLAG_NONE_PREFETCHABLE), FLAG_STR(f, PCI_FLAG_IS_KV6), FLAG_STR(f, PCI_FLAG_FAST_LINK),
                FLAG_STR(f, PCI_FLAG_ENABLE_BAR0_8MB));
    for (int i = 0; i < PHYS_SHOWN; ++i)
        print_phy(i, cfg.phy[i]);
}
