// Image generation (-genbin) over fuzzed firmware and PXE files and fuzzed
// settings. The input gives the chip group, the firmware file (size up to a
// little past the largest image, a repeated body, its chip-group word, a
// factory configuration header at the layout's offset), the PXE file, the
// port count, and the texts of -pci, -mac-p0, -sn, -pn, -pName, -si-pN and
// the per-port feature options.
//
// What must hold: a build is refused exactly when a file or setting check
// fails, a malformed setting text included; a refusal is the result -1, never
// the end of the process, and writes no file. An accepted build writes the
// layout's length, the firmware file's when longer, and nothing more; outside
// the user record and the bytes -pci sets, the image holds the files at their
// offsets and erased flash elsewhere; a changed record carries the magic, an
// unchanged one is what the firmware file brought (the magic may be set);
// after -pci the factory configuration's checksum matches its bytes.
#define FUZZ_TARGET_NAME "gen_bin"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_order.h"
#include "record/cfg.h"
#include "devices/port_count.h"
#include "base/file_io.h"
#include "fuzz_support.h"
#include "base/flash_layout.h"
#include "cli/main_driver.h"
#include "image/gen_bin.h"
#include "image/image_layout.h"
#include "record/run_context.h"
#include "cli/settings.h"
#include "ucfg/mac_address.h"
#include "ucfg/si_settings.h"

namespace {

constexpr std::size_t FILE_SIZE_CAP = FW_BIN_MAX_SZ + 0x1000;
constexpr u32 CHIP_GROUPS[] = {0, KV9_CHIP_GROUP, KV3_CHIP_GROUP};
constexpr std::size_t PCI_CSUM_OFF = 4, PCI_LEN_OFF = 8, PCI_LANES_OFF = 12, PCI_GEN_OFF = 13;
constexpr int NET_CFG_HEADER = 12;

template <std::size_t N>
void put_text(char (&field)[N], const std::string& text) {
    const std::size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

struct scenario {
    u32 chip_group = 0;
    bool fw_given = true;
    std::vector<u8> fw;
    std::optional<std::vector<u8>> pxe;
    settings s;
};

scenario scenario_from(FuzzedDataProvider& in, const std::string& dir) {
    scenario sc;
    sc.chip_group = CHIP_GROUPS[in.ConsumeIntegralInRange<std::size_t>(0, std::size(CHIP_GROUPS) - 1)];
    const flash_layout& layout = layout_for_chip_group(sc.chip_group);
    sc.fw_given = in.ConsumeIntegralInRange<u8>(0, 15) != 0;
    const std::size_t word = in.ConsumeIntegralInRange<std::size_t>(0, std::size(CHIP_GROUPS));
    const bool net_cfg = in.ConsumeBool();
    const u16 net_cfg_len = in.ConsumeIntegral<u16>();
    const std::size_t fw_len = in.ConsumeIntegralInRange<std::size_t>(0, FILE_SIZE_CAP);
    const bool with_pxe = in.ConsumeBool();
    const std::size_t pxe_len = in.ConsumeIntegralInRange<std::size_t>(0, PXE_MAX_SZ + 0x1000);
    settings& s = sc.s;
    s.port_cnts_of_card = in.ConsumeIntegralInRange<int>(-1, MAX_PORTS + 1);
    s.verbose2 = in.ConsumeBool();
    const u8 given = in.ConsumeIntegral<u8>();  // one bit per text option below
    if (given & 0x01)
        put_text(s.in_pci_speed, in.ConsumeRandomLengthString(PCI_SPEED_CAP));
    if (given & 0x02)
        put_text(s.in_mac_addr_p0, in.ConsumeRandomLengthString(MAC_TEXT_CAP));
    if (given & 0x04) {
        put_text(s.vdp_sn, in.ConsumeRandomLengthString(VDP_TEXT_CAP));
        s.vdp_sn_valid = static_cast<int>(std::strlen(s.vdp_sn));
    }
    if (given & 0x08) {
        put_text(s.vdp_pn, in.ConsumeRandomLengthString(VDP_TEXT_CAP));
        s.vdp_pn_valid = static_cast<int>(std::strlen(s.vdp_pn));
    }
    if (given & 0x10) {
        put_text(s.vdp_pName, in.ConsumeRandomLengthString(VDP_TEXT_CAP));
        s.vdp_pName_valid = static_cast<int>(std::strlen(s.vdp_pName));
    }
    if (given & 0x20) {
        char* const si[] = {s.si_0, s.si_1, s.si_2, s.si_3, s.si_4, s.si_5, s.si_6, s.si_7};
        const std::string text = in.ConsumeRandomLengthString(OPT_TEXT_CAP);
        char* field = si[in.ConsumeIntegralInRange<int>(0, MAX_PORTS - 1)];
        std::memcpy(field, text.data(), std::min<std::size_t>(text.size(), OPT_TEXT_CAP - 1));
    }
    if (given & 0x40) {
        char* const features[] = {s.led_str, s.lldp_status_str, s.lldp_txIntval_str, s.wol_en_str,
                                  s.wol_mode_str, s.force_status_str, s.pack_id_str};
        const std::string text = in.ConsumeRandomLengthString(OPT_TEXT_CAP);
        char* field = features[in.ConsumeIntegralInRange<std::size_t>(0, std::size(features) - 1)];
        std::memcpy(field, text.data(), std::min<std::size_t>(text.size(), OPT_TEXT_CAP - 1));
    }
    if (with_pxe)
        sc.pxe = fuzz::repeated(in.ConsumeBytes<u8>(16), pxe_len);
    sc.fw = fuzz::repeated(in.ConsumeRemainingBytes<u8>(), fw_len);
    // The last choice keeps the file's own word.
    if (word < std::size(CHIP_GROUPS) && sc.fw.size() >= static_cast<std::size_t>(BOOT_PAGE_SZ))
        put_le32(sc.fw.data() + CHIP_GROUP_WORD_OFF, CHIP_GROUPS[word]);
    const std::size_t cfg = static_cast<std::size_t>(layout.cfg.off);
    if (net_cfg && sc.fw.size() >= cfg + NET_CFG_HEADER) {
        put_le32(sc.fw.data() + cfg, NET_CFG_MAGIC);
        put_le16(sc.fw.data() + cfg + PCI_LEN_OFF, net_cfg_len % (CFG_MAX_SZ + 0x10));
    }
    if (sc.fw_given)
        put_text(s.fw_bin, dir + "/fw.bin");
    if (sc.pxe)
        put_text(s.pxe_bin, dir + "/pxe.bin");
    put_text(s.out_bin_f, dir + "/out.bin");
    return sc;
}

// Whether -pci finds a factory configuration it may change in the image.
bool pci_cfg_valid(std::span<const u8> image, std::size_t cfg) {
    if (image.size() < cfg + NET_CFG_HEADER || get_le32(image.data() + cfg) != NET_CFG_MAGIC)
        return false;
    const u16 len = get_le16(image.data() + cfg + PCI_LEN_OFF);
    return len >= NET_CFG_HEADER && len <= CFG_MAX_SZ;
}

// Whether a setting text the build applies is malformed: the -mac-p0
// address, an SI text of a port before the first one not given (the address
// and SI parsers have a target of their own), a per-port list with fewer than
// four values (three single spaces). Image generation does not apply the
// pack ids, so their text is never looked at.
bool setting_text_refused(const settings& s) {
    u8 mac[6];
    if (s.in_mac_addr_p0[0] && str_2_mac(s.in_mac_addr_p0, mac) != 0)
        return true;
    for (int port = 0; port < MAX_PORTS && s.si_port(port)[0]; ++port) {
        si lanes[4];
        if (str_2_si_v2(s.si_port(port), lanes, false) < 0)
            return true;
    }
    for (const char* list : {s.led_str, s.lldp_status_str, s.lldp_txIntval_str, s.wol_en_str, s.wol_mode_str,
                             s.force_status_str})
        if (list[0] && std::ranges::count(std::string_view(list), ' ') < 3)
            return true;
    return false;
}

// The checks of the files and the settings that refuse a build.
bool build_refused(const scenario& sc, const flash_layout& layout) {
    const settings& s = sc.s;
    if (!sc.fw_given || s.port_cnts_of_card == 0 || sc.fw.empty() || sc.fw.size() > FW_BIN_MAX_SZ ||
        sc.fw.size() < static_cast<std::size_t>(BOOT_PAGE_SZ))
        return true;
    const u32 word = get_le32(sc.fw.data() + CHIP_GROUP_WORD_OFF);
    if (word != sc.chip_group && !(sc.chip_group == KV9_CHIP_GROUP && word == 0))
        return true;
    if (sc.pxe && (sc.pxe->empty() || sc.pxe->size() > static_cast<std::size_t>(layout.flash_size - layout.pxe.off)))
        return true;
    // An image without the firmware's configuration has erased flash there.
    if (s.in_pci_speed[0] && !pci_cfg_valid(sc.fw, static_cast<std::size_t>(layout.cfg.off)))
        return true;
    if (s.in_mac_addr_p0[0] && (s.port_cnts_of_card < 1 || s.port_cnts_of_card > MAX_PORTS))
        return true;
    return setting_text_refused(s);
}

// A batch given only for ports after a gap stores nothing but still writes
// the magic, without marking the record changed: the rest is the file's.
void check_unchanged_record(std::span<const u8> record, std::span<const u8> file_record) {
    constexpr std::size_t magic_end = MAC_SN_PRE_LEN + 4;
    if (record.size() >= magic_end) {
        const auto magic = static_cast<std::int32_t>(get_le32(record.data() + MAC_SN_PRE_LEN));
        FUZZ_CHECK(magic == MAC_SN_MAGIC ||
                       magic == static_cast<std::int32_t>(get_le32(file_record.data() + MAC_SN_PRE_LEN)),
                   "an unchanged record with a magic of its own");
    }
    const std::size_t head = std::min<std::size_t>(record.size(), MAC_SN_PRE_LEN);
    const std::size_t tail = record.size() > magic_end ? record.size() - magic_end : 0;
    FUZZ_CHECK(std::ranges::equal(record.first(head), file_record.first(head)) &&
                   std::ranges::equal(record.last(tail), file_record.last(tail)),
               "an unchanged record differs from the firmware file's");
}

void check_image(const scenario& sc, const flash_layout& layout, const std::vector<u8>& out, bool dirty) {
    const std::size_t ucfg = static_cast<std::size_t>(layout.ucfg.off), cfg = static_cast<std::size_t>(layout.cfg.off);
    std::size_t len = std::max(static_cast<std::size_t>(layout.default_img_sz()), sc.fw.size());
    if (sc.pxe)
        len = std::max(len, static_cast<std::size_t>(layout.flash_size));
    if (dirty)
        len = std::max(len, static_cast<std::size_t>(layout.ucfg_end()));
    FUZZ_CHECK(out.size() == len, "a " + std::to_string(out.size()) + "-byte image instead of " + std::to_string(len));

    // The files at their offsets over erased flash; the record and the -pci
    // bytes are taken from the output and checked apart.
    std::vector<u8> want(len, 0xFF);
    std::ranges::copy(sc.fw, want.begin());
    if (sc.pxe)
        std::ranges::copy(*sc.pxe, want.begin() + layout.pxe.off);
    // The part of the record the image holds: none when it ends at the user
    // area, a head when the firmware file ends inside the record.
    const std::size_t record_end = std::min(len, ucfg + UCFG_MAC_SN_SZ);
    const std::size_t held = record_end > ucfg ? record_end - ucfg : 0;
    std::copy_n(out.begin() + static_cast<long>(ucfg), held, want.begin() + static_cast<long>(ucfg));
    if (sc.s.in_pci_speed[0])
        for (std::size_t at : {PCI_CSUM_OFF, PCI_CSUM_OFF + 1, PCI_CSUM_OFF + 2, PCI_CSUM_OFF + 3, PCI_LANES_OFF, PCI_GEN_OFF})
            want[cfg + at] = out[cfg + at];
    const auto diff = std::ranges::mismatch(out, want);
    FUZZ_CHECK(diff.in1 == out.end(), "byte " + std::to_string(diff.in1 - out.begin()) +
                                          " outside the record and the -pci fields is not the files' or erased flash");

    // A changed record makes the image reach past the user area (length above).
    const auto record = std::span<const u8>(out).subspan(std::min(ucfg, len), held);
    if (dirty)
        FUZZ_CHECK(static_cast<std::int32_t>(get_le32(record.data() + MAC_SN_PRE_LEN)) == MAC_SN_MAGIC,
                   "a changed record without its magic");
    else if (sc.fw.size() >= record_end)
        check_unchanged_record(record, std::span<const u8>(sc.fw).subspan(std::min(ucfg, len), held));

    if (sc.s.in_pci_speed[0]) {
        // XOR of the little-endian words over `len` bytes, the checksum as zero.
        const u16 cfg_len = get_le16(out.data() + cfg + PCI_LEN_OFF);
        u32 x = 0;
        for (std::size_t w = 0; w < cfg_len / 4u; ++w)
            x ^= w == PCI_CSUM_OFF / 4 ? 0 : get_le32(out.data() + cfg + 4 * w);
        FUZZ_CHECK(x == get_le32(out.data() + cfg + PCI_CSUM_OFF), "the factory configuration checksum does not match");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string dir = fuzz::scratch_dir();
    FuzzedDataProvider in(data, size);
    const scenario sc = scenario_from(in, dir);
    const flash_layout& layout = layout_for_chip_group(sc.chip_group);
    fuzz::empty_dir(dir);
    if (write_to_file(sc.fw, (dir + "/fw.bin").c_str()) < 0 ||
        (sc.pxe && write_to_file(*sc.pxe, (dir + "/pxe.bin").c_str()) < 0))
        fuzz::invariant_broken(FUZZ_TARGET_NAME, "cannot write the input files in " + dir);

    const bool refused = build_refused(sc, layout);
    const run_context ctx;
    const fuzz::call_result r = fuzz::call_catching_end([&] { return do_gen_bin(gen_bin_request_of(sc.s), sc.chip_group); });
    const auto out = fuzz::file_content(sc.s.out_bin_f);
    FUZZ_CHECK(!r.ended && (r.status == 0 || r.status == -1),
               (r.ended ? "ended the run with " : "returned ") + std::to_string(r.status));
    if (r.status != 0) {
        FUZZ_CHECK(!out, "a refused build wrote its file");
        FUZZ_CHECK(refused, "a build with good files and settings was refused");
        return 0;
    }
    FUZZ_CHECK(!refused, "a build that should be refused wrote an image");
    FUZZ_CHECK(out.has_value(), "an accepted build wrote no file");
    check_image(sc, layout, *out, ctx.record_changed());
    return 0;
}
