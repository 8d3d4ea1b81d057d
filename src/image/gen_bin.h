// Offline image generation (the -genbin road): a complete flash
// image built from a firmware image, an optional PXE image and the user
// settings of the command line, written to a file. No device is touched.
#pragma once

#include <span>
#include <vector>

#include "base/types.h"
#include "ucfg/si_settings.h"

// What image generation is asked for: the files and the settings of the
// record, each text "" (the identity texts nullptr) when not given.
struct gen_bin_request {
    const char* fw_bin = "";
    const char* pxe_bin = "";
    const char* out_file = "";
    const char* pci_link = "";  // "gen%dx%d"
    int ports = 0;              // of the card the image is for; 0: not given
    const char* mac_p0 = "";
    const char* sn = nullptr;
    const char* pn = nullptr;
    const char* pName = nullptr;
    si_port_texts si{"", "", "", "", "", "", "", ""};
    const char* led = "";
    const char* lldp_status = "";
    const char* lldp_interval = "";
    const char* wol_mode = "";
    const char* wol_enable = "";
    const char* force_state = "";
    bool trace = false;  // level-2 traces
};

// Builds the image in the layout of `chip_group` (the tool passes
// g_chip_group, which is 0 on this road: the default layout). Returns 0 with
// `image` holding the output bytes (its size is the output length), or -1
// after printing why, with no image:
//   "please set numbers of ports by -ports <num-ports>\n" (checked first),
//   "canot' read %s\n", "fw bin too large: %s\n" (over 827392 bytes),
//   "fw bin too small: %s\n" (under 64), "pxe bin too large: %s\n" (over the
//   room behind the PXE offset), "fw bin is not for KV9 !" / "... KV3 !",
//   the -pci refusal of set_pci_link, and "ports param is must 1 to 8 \n" for
//   -mac-p0 with a port count outside 1..8.
// Without a firmware path it prints "please input fw.bin" and returns -1. The setters work on the record inside the image; the
// pack-id batch and the single-port options are not applied. Reads and sets
// ucfg_mac_sn_dirty.
int build_gen_bin(const gen_bin_request& s, u32 chip_group, std::vector<u8>& image);

// The -pci step on the factory configuration area `cfg_area` (its net_config
// first): parses "gen%dx%d" (generation 3 and lanes 8 for what the text does
// not supply), stores lanes at byte 12 and generation at byte 13, prints
// "gen%dX%d\n" when `trace`, and recomputes csum with crxsum over `len`
// bytes. Needs magic 0x00010CF9 and 12 <= len <= 4096 (and within the area);
// otherwise prints "fw bin has no valid net config for -pci\n" and returns
// -1 with nothing changed. 0 on success.
int set_pci_link(std::span<u8> cfg_area, const char* text, bool trace);

// build_gen_bin, then "gen bin: %s %d bytes\n" and the file `out_file`
// created or truncated with mode 0644. 0 when the image was built and saved
// whole, -1 when build_gen_bin refused or the file could not be written (the
// writer reports "save faild!").
int do_gen_bin(const gen_bin_request& s, u32 chip_group);
