// Flash record layouts shared by several subsystems: the user configuration
// record, the factory network configuration, the boot configuration page and
// the version record. Every record is stored little-endian byte for byte as
// laid out here; the static_asserts pin each size and offset.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "base/types.h"

static_assert(std::endian::native == std::endian::little,
              "flash records are overlaid on little-endian storage");

constexpr int MAX_PORTS = 8;
// Whether the user record has per-port entries for port `port`.
constexpr bool record_has_port(int port) { return port >= 0 && port < MAX_PORTS; }
constexpr int MAX_PORT_CNT = 8;
constexpr int MAC_ADDR_LEN = 8;
constexpr int MAX_SERDES = 2;
constexpr int MAX_LANES_PEER_SERDES = 4;
constexpr int RESV_NUM = 4 * MAX_PORT_CNT;
constexpr int UCFG_TEXT_LEN = 32;  // sn, pn and pName fields, no terminator when full

constexpr std::int32_t MAC_SN_MAGIC = static_cast<std::int32_t>(0x87654321);
// sn, macaddr: the part of the record a firmware image must cover for the
// carry-over of the card's own identity (offset of `magic`).
constexpr int MAC_SN_PRE_LEN = 96;

// One serdes lane's transmit equalisation. tx_eq_main 0xff: not set.
struct si {
    u8 tx_eq_main;
    u8 tx_eq_pre;
    u8 tx_eq_post;
    u8 boost;
};
static_assert(sizeof(si) == 4);

constexpr int SI_MAIN_BIT = 0;
constexpr int SI_PRE_BIT = 1;
constexpr int SI_POST_BIT = 2;
constexpr int SI_BOOST_BIT = 3;
constexpr int SI_INVAL = 0xffff;

// Lane flags of one port, one byte: bit 0 an_en, bit 1 link_traing, bit 2 fec_en.
struct lane_misc {
    u8 v;
};
static_assert(sizeof(lane_misc) == 1);
constexpr u8 LANE_AN_EN = 1u << 0;
constexpr u8 LANE_LINK_TRAING = 1u << 1;
constexpr u8 LANE_FEC_EN = 1u << 2;

// PCI user settings word: valid bits 0-2, force_speed_by_user bits 3-4,
// pci_preset bits 5-8.
struct usr_pci_cfg {
    u32 v;
    u32 valid() const { return v & 0x7u; }
    u32 force_speed_by_user() const { return (v >> 3) & 0x3u; }
    u32 pci_preset() const { return (v >> 5) & 0xfu; }
};
static_assert(sizeof(usr_pci_cfg) == 4);
constexpr u32 PCI_CFG_VALID = 0b101;
constexpr u32 NO_FORCE_SPEED = 0, FORCE_1G = 1, FORCE_10G = 2;

// LED control block, register view. The first 16 bits also read as `v` and
// as twelve one-bit flags (led0_1000M bit 0 .. led2_act bit 11).
struct led_bitmap_t {
    u32 led_ctrl;  // one mode byte per LED: bits 31-24 LED 3 .. bits 7-0 LED 0
    u32 active_timeout_thre;
    u32 blink_high_thre;
    u32 blink_low_thre;
    u16 v() const { return static_cast<u16>(led_ctrl & 0xffffu); }
};
static_assert(sizeof(led_bitmap_t) == 16);
static_assert(offsetof(led_bitmap_t, active_timeout_thre) == 4);
static_assert(offsetof(led_bitmap_t, blink_high_thre) == 8);
static_assert(offsetof(led_bitmap_t, blink_low_thre) == 12);

// Wake-on-LAN of one port; -1 in a field: not set.
struct wol_cfg {
    std::int32_t wol_mode;
    std::int32_t wol_en;
};
static_assert(sizeof(wol_cfg) == 8);
static_assert(offsetof(wol_cfg, wol_en) == 4);

// A GPIO group and pin number; 0xff: not set.
struct pin {
    u8 group;
    u8 pin;
};
static_assert(sizeof(pin) == 2);

// The user configuration record: 480 bytes at the start of PART_MAC_ADDR.
struct ucfg_mac_sn {
    u8 macaddr[MAX_PORTS][MAC_ADDR_LEN];  // first 6 bytes of a slot, most significant first
    u8 sn[UCFG_TEXT_LEN];
    std::int32_t magic;  // MAC_SN_MAGIC when valid
    u32 si_valid_flags;  // bit 4e+k: value k of si entry e set by the user
    ::si si[MAX_SERDES * MAX_LANES_PEER_SERDES];
    lane_misc fun_valid[MAX_PORTS];
    lane_misc fun_flags[MAX_PORTS];
    u8 pn[UCFG_TEXT_LEN];
    usr_pci_cfg pcfg;
    led_bitmap_t led_bitmap;
    u8 pName[UCFG_TEXT_LEN];
    u8 lldp_admStatus[MAX_PORTS];
    u8 lldp_txIntval[MAX_PORTS];
    wol_cfg wol_info[MAX_PORTS];
    pin pack_id[2];
    std::int32_t force_status[MAX_PORTS];
    u32 resv[RESV_NUM];
};
constexpr int UCFG_MAC_SN_SZ = 480;
static_assert(sizeof(ucfg_mac_sn) == UCFG_MAC_SN_SZ);
static_assert(offsetof(ucfg_mac_sn, macaddr) == 0);
static_assert(offsetof(ucfg_mac_sn, sn) == 64);
static_assert(offsetof(ucfg_mac_sn, magic) == 96);
static_assert(offsetof(ucfg_mac_sn, magic) == MAC_SN_PRE_LEN);
static_assert(offsetof(ucfg_mac_sn, si_valid_flags) == 100);
static_assert(offsetof(ucfg_mac_sn, si) == 104);
static_assert(offsetof(ucfg_mac_sn, fun_valid) == 136);
static_assert(offsetof(ucfg_mac_sn, fun_flags) == 144);
static_assert(offsetof(ucfg_mac_sn, pn) == 152);
static_assert(offsetof(ucfg_mac_sn, pcfg) == 184);
static_assert(offsetof(ucfg_mac_sn, led_bitmap) == 188);
static_assert(offsetof(ucfg_mac_sn, pName) == 204);
static_assert(offsetof(ucfg_mac_sn, lldp_admStatus) == 236);
static_assert(offsetof(ucfg_mac_sn, lldp_txIntval) == 244);
static_assert(offsetof(ucfg_mac_sn, wol_info) == 252);
static_assert(offsetof(ucfg_mac_sn, pack_id) == 316);
static_assert(offsetof(ucfg_mac_sn, force_status) == 320);
static_assert(offsetof(ucfg_mac_sn, resv) == 352);

// Set to 1 by every setter that stores into a record; never cleared during a
// run. The driver saves a device's record only when it is set; a
// run_context (run_context.h) owns it for the length of one run. One per
// thread: cards worked on at once never see each other's changes.
extern constinit thread_local int ucfg_mac_sn_dirty;

// Writes the defaults of a fresh record; the MAC slots keep what they held.
// With `trace` it first prints its name as one line.
int ucfg_mac_sn_reset(ucfg_mac_sn* record, bool trace = false);

// Boot configuration page: the first 64 bytes of a firmware image.
struct config_page_st {
    u32 exist_flag;
    u16 checksum;
    u16 page_length;
    u32 reserved[2];
    u32 sfc_code_flag;
    u32 spi_code_flag;
    u32 sfc_param_flag;
    u32 spi_param_flag;
    u32 code_src_addr;
    u32 code_length;
    u32 code_dst_addr;
    u32 frequency;
    u32 param_src_addr;
    u32 param_length;
    u32 param_dst_addr;
    u32 reserved1;  // chip group the image is built for, or 0
};
static_assert(sizeof(config_page_st) == 64);
static_assert(offsetof(config_page_st, checksum) == 4);
static_assert(offsetof(config_page_st, page_length) == 6);
static_assert(offsetof(config_page_st, sfc_code_flag) == 16);
static_assert(offsetof(config_page_st, code_src_addr) == 32);
static_assert(offsetof(config_page_st, param_dst_addr) == 56);
static_assert(offsetof(config_page_st, reserved1) == 60);

// Factory network configuration: lane_cfg, net_phy_cfg, pci_cfg, net_config.
struct lane_cfg {
    u8 macaddr[8];
    u8 port_id;
    u8 mode_flags;   // sgmii bit 0, an 1, fec 2, link_traning 3, hidden 4, ... dandao_rxonly 7
    u8 pma_type;
    u8 iface_flags;  // ctrl_iface bits 0-2, is_fiber 3, wol_en 4, lldp_admStatus 5-6
    u8 lldp_txIntval;
    u8 rev[3];
    u32 wol_mode;
    u16 pak[16];     // pin assignment, viewed by ctrl_iface
    u8 ext_phy[28];  // external PHY: pins, led_bitmap_t at 8, addr at 24
};
static_assert(sizeof(lane_cfg) == 80);
static_assert(offsetof(lane_cfg, port_id) == 8);
static_assert(offsetof(lane_cfg, mode_flags) == 9);
static_assert(offsetof(lane_cfg, pma_type) == 10);
static_assert(offsetof(lane_cfg, iface_flags) == 11);
static_assert(offsetof(lane_cfg, lldp_txIntval) == 12);
static_assert(offsetof(lane_cfg, wol_mode) == 16);
static_assert(offsetof(lane_cfg, pak) == 20);
static_assert(offsetof(lane_cfg, ext_phy) == 52);

struct net_phy_cfg {
    u32 speed;
    u8 used_lane_bitmap;
    u8 pll_flags;  // using_ext_pll bit 0
    u8 rev[2];
    u32 tx_eq_mains;
    u32 tx_eq_pres;
    u32 tx_eq_posts;
    u16 tx_boost[4];
    lane_cfg lane[4];
};
static_assert(sizeof(net_phy_cfg) == 348);
static_assert(offsetof(net_phy_cfg, used_lane_bitmap) == 4);
static_assert(offsetof(net_phy_cfg, tx_eq_mains) == 8);
static_assert(offsetof(net_phy_cfg, tx_eq_pres) == 12);
static_assert(offsetof(net_phy_cfg, tx_eq_posts) == 16);
static_assert(offsetof(net_phy_cfg, tx_boost) == 20);
static_assert(offsetof(net_phy_cfg, lane) == 28);

constexpr u8 TX_EQ_IGNORE = 0xFF;

struct pci_cfg {
    u8 pci_lanes;
    u8 pci_gen_speed;
    u16 flags;  // PCI_FLAG_* bits
    u16 pf0_device;
    u16 pf1_device;
    u16 subsystem_id;
    u16 subsystem_vendor;
    u16 pci_uid;
    u16 preset_word;  // preset bits 0-3, then the PCI_PRESET_* bits
    u32 preset() const { return preset_word & 0xfu; }
};
static_assert(sizeof(pci_cfg) == 16);
static_assert(offsetof(pci_cfg, flags) == 2);
static_assert(offsetof(pci_cfg, pf0_device) == 4);
static_assert(offsetof(pci_cfg, subsystem_id) == 8);
static_assert(offsetof(pci_cfg, subsystem_vendor) == 10);
static_assert(offsetof(pci_cfg, pci_uid) == 12);
static_assert(offsetof(pci_cfg, preset_word) == 14);

// Bits of pci_cfg.flags.
constexpr u16 PCI_FLAG_NO_VF = 1u << 0;
constexpr u16 PCI_FLAG_NO_BAR0 = 1u << 1;
constexpr u16 PCI_FLAG_NO_BAR2 = 1u << 2;
constexpr u16 PCI_FLAG_NO_BAR4 = 1u << 3;
constexpr u16 PCI_FLAG_NO_VF_BAR0 = 1u << 4;
constexpr u16 PCI_FLAG_NO_VF_BAR2 = 1u << 5;
constexpr u16 PCI_FLAG_NO_VF_BAR4 = 1u << 6;
constexpr u16 PCI_FLAG_PXE_ENABLE = 1u << 7;
constexpr u16 PCI_FLAG_PXE_UEFI = 1u << 8;
constexpr u16 PCI_FLAG_DISABLE = 1u << 9;
constexpr u16 PCI_FLAG_SPLIT_PF = 1u << 10;
constexpr u16 PCI_FLAG_NONE_PREFETCHABLE = 1u << 11;
constexpr u16 PCI_FLAG_RPU = 1u << 12;
constexpr u16 PCI_FLAG_IS_KV6 = 1u << 13;
constexpr u16 PCI_FLAG_FAST_LINK = 1u << 14;
constexpr u16 PCI_FLAG_ENABLE_BAR0_8MB = 1u << 15;

constexpr int MAX_NET_PHY_NUM = 4;
constexpr u32 NET_CFG_MAGIC = 0x00010CF9;
constexpr u16 NET_CFG_VERSION = 6;

struct net_config {
    u32 magic;
    u32 csum;  // crxsum over `len` bytes with csum taken as 0
    u16 len;
    u16 version;
    pci_cfg pci;
    net_phy_cfg phy[MAX_NET_PHY_NUM];
    u16 net_uid;
    u16 ncsi_flags;  // ncsi_port bits 0-2, ncsi_en 3, mctp_en 4, ...
    pin slot_id0;
    pin slot_id1;
};
static_assert(sizeof(net_config) == 1428);
static_assert(offsetof(net_config, csum) == 4);
static_assert(offsetof(net_config, len) == 8);
static_assert(offsetof(net_config, version) == 10);
static_assert(offsetof(net_config, pci) == 12);
static_assert(offsetof(net_config, phy) == 28);
static_assert(offsetof(net_config, phy) + sizeof(net_phy_cfg) == 376);
static_assert(offsetof(net_config, net_uid) == 1420);
static_assert(offsetof(net_config, ncsi_flags) == 1422);
static_assert(offsetof(net_config, slot_id0) == 1424);
static_assert(offsetof(net_config, slot_id1) == 1426);

// Answer to a read of VERSION_INFO.
constexpr u32 FW_VERSION_MAGIC = 0xA7A8;
struct fw_version {
    u32 cur_fw_version;   // one version part per byte, most significant first
    u32 cur_pxe_version;  // least significant byte first, top byte unused
    u32 magic;            // FW_VERSION_MAGIC when valid
    u32 availble_fw_version;
    u32 availble_pxe_version;
};
static_assert(sizeof(fw_version) == 20);
static_assert(offsetof(fw_version, cur_pxe_version) == 4);
static_assert(offsetof(fw_version, magic) == 8);
static_assert(offsetof(fw_version, availble_fw_version) == 12);
static_assert(offsetof(fw_version, availble_pxe_version) == 16);
