#include "gen_bin.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/byte_order.h"
#include "record/cfg.h"
#include "devices/sysfs_file.h"
#include "base/file_io.h"
#include "maintain/maintain.h"
#include "ucfg/feature_settings.h"
#include "ucfg/identity.h"
#include "ucfg/mac_address.h"
#include "ucfg/si_settings.h"
#include "base/flash_layout.h"
#include "image_file.h"
#include "image_layout.h"
#include "base/message_sink.h"

namespace {

constexpr int NET_CFG_MIN_LEN = 12;  // the header the -pci step writes behind
constexpr int PCI_LANES_OFF = 12, PCI_GEN_OFF = 13;  // net_config.pci.pci_lanes, pci_gen_speed
constexpr int DEFAULT_PCI_GEN = 3, DEFAULT_PCI_LANES = 8;

int refuse(const char* format, const char* path) {
    messages().print(format, path);
    return -1;
}

int cannot_read(const char* path) {
    messages().write(cannot_read_message(path).c_str());
    return -1;
}

// The user record inside the image, edited through a copy so that no
// record is overlaid on the byte buffer.
ucfg_mac_sn record_at(const std::vector<u8>& image, int off) {
    ucfg_mac_sn r;
    std::memcpy(&r, image.data() + off, sizeof r);
    return r;
}

void store_record(std::vector<u8>& image, int off, const ucfg_mac_sn& r) {
    std::memcpy(image.data() + off, &r, sizeof r);
}

// The record settings of image generation on `rec`; -1 for a -mac-p0 port count out of range.
int apply_settings(const gen_bin_request& q, ucfg_mac_sn* rec) {
    if (q.mac_p0[0] && !mac_p0_batch_set(rec, q.mac_p0, q.ports, MAX_PORTS).ok())
        return -1;
    if (q.sn)
        set_text(*rec, record_text::serial, q.sn);
    if (q.pn)
        set_text(*rec, record_text::part_number, q.pn);
    if (q.pName)
        set_text(*rec, record_text::product_name, q.pName);
    // Each batch reports its own input errors; a refused text ends the run.
    const bool refused = !cfg_si_batch_set(rec, q.si, q.trace).ok() || !cfg_led_batch_set(rec, q.led).ok() ||
                         !cfg_lldp_batch_set(rec, q.lldp_status, q.lldp_interval).ok() ||
                         !cfg_wol_batch_set(rec, q.wol_mode, q.wol_enable).ok() ||
                         !cfg_force_state_batch_set(rec, q.force_state).ok();
    return refused ? -1 : 0;
}

}  // namespace

int set_pci_link(std::span<u8> cfg_area, const char* text, bool trace) {
    const bool has_header = cfg_area.size() >= static_cast<std::size_t>(NET_CFG_MIN_LEN);
    const u16 len = has_header ? get_le16(cfg_area.data() + offsetof(net_config, len)) : 0;
    const bool valid = has_header && get_le32(cfg_area.data() + offsetof(net_config, magic)) == NET_CFG_MAGIC &&
                       len >= NET_CFG_MIN_LEN && len <= std::min<std::size_t>(CFG_MAX_SZ, cfg_area.size());
    if (!valid) {
        messages().print("fw bin has no valid net config for -pci\n");
        return -1;
    }
    int gen = DEFAULT_PCI_GEN, lanes = DEFAULT_PCI_LANES;
    std::sscanf(text, "gen%dx%d", &gen, &lanes);
    cfg_area[PCI_LANES_OFF] = static_cast<u8>(lanes);
    cfg_area[PCI_GEN_OFF] = static_cast<u8>(gen);
    if (trace)
        messages().print("gen%dX%d\n", gen, lanes);
    put_le32(cfg_area.data() + offsetof(net_config, csum), 0);
    put_le32(cfg_area.data() + offsetof(net_config, csum), crxsum(cfg_area.data(), len));
    return 0;
}

int build_gen_bin(const gen_bin_request& s, u32 chip_group, std::vector<u8>& image) {
    image.clear();
    if (s.ports == 0) {
        messages().print("please set numbers of ports by -ports <num-ports>\n");
        return -1;
    }
    std::vector<u8> buf(FW_BIN_MAX_SZ, 0xFF);
    const flash_layout& layout = layout_for_chip_group(chip_group);
    const int ucfg_off = static_cast<int>(layout.ucfg.off), pxe_off = static_cast<int>(layout.pxe.off);
    int len = layout.default_img_sz();

    ucfg_mac_sn rec = record_at(buf, ucfg_off);
    ucfg_mac_sn_reset(&rec, s.trace);
    store_record(buf, ucfg_off, rec);

    if (!s.fw_bin[0]) {
        messages().print("please input fw.bin\n");
        return -1;
    }
    const std::optional<std::vector<u8>> fw = read_file(s.fw_bin);
    if (!fw)
        return cannot_read(s.fw_bin);
    if (fw->size() > buf.size())
        return refuse("fw bin too large: %s\n", s.fw_bin);
    if (fw->size() < static_cast<std::size_t>(BOOT_PAGE_SZ))
        return refuse("fw bin too small: %s\n", s.fw_bin);
    if (const char* refusal = chip_group_refusal(chip_group, image_chip_group(*fw))) {
        messages().print("%s\n", refusal);
        return -1;
    }
    std::copy(fw->begin(), fw->end(), buf.begin());
    len = std::max(len, static_cast<int>(fw->size()));

    if (s.pxe_bin[0]) {
        const std::optional<std::vector<u8>> pxe = read_file(s.pxe_bin);
        if (!pxe)
            return cannot_read(s.pxe_bin);
        if (pxe->size() > static_cast<std::size_t>(layout.flash_size) - layout.pxe.off)
            return refuse("pxe bin too large: %s\n", s.pxe_bin);
        std::copy(pxe->begin(), pxe->end(), buf.begin() + pxe_off);
        len = std::max(len, static_cast<int>(layout.flash_size));
    }

    if (s.pci_link[0] &&
        set_pci_link(std::span<u8>(buf).subspan(layout.cfg.off, CFG_MAX_SZ),
                     s.pci_link, s.trace) != 0)
        return -1;

    // What the firmware file brought into the user area replaces the reset
    // record; the settings edit whatever is there now.
    rec = record_at(buf, ucfg_off);
    if (apply_settings(s, &rec) != 0)
        return -1;
    if (ucfg_mac_sn_dirty) {
        rec.magic = MAC_SN_MAGIC;
        len = std::max(len, layout.ucfg_end());
    }
    store_record(buf, ucfg_off, rec);

    buf.resize(static_cast<std::size_t>(len));
    image = std::move(buf);
    return 0;
}

int do_gen_bin(const gen_bin_request& s, u32 chip_group) {
    std::vector<u8> image;
    if (build_gen_bin(s, chip_group, image) != 0)
        return -1;
    messages().print("gen bin: %s %d bytes\n", s.out_file, static_cast<int>(image.size()));
    // The writer reports a failed write; an image not saved whole is a failure.
    return write_to_file(image, s.out_file) < 0 ? -1 : 0;
}
