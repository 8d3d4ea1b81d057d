// What the simulator pretends is installed: controllers (cards), their PCI
// functions and network interfaces, the content of each card's flash at first
// use, and the faults to inject. Filled from the line-based config format
// described in sim/README.md, or from the built-in default.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "devices/port_count.h"
#include "base/types.h"

namespace zsim {

using mac_addr = std::array<u8, 6>;

constexpr u16 ZELNIC_VENDOR = ZELVO_VENDOR_ID;

enum class listing_order { config, reverse, sorted };
enum class layout_kind { standard, kv3 };
// image: the whole flash given in card_cfg::image (a card from a backup; the
// config format has no text for it).
enum class flash_preload { factory, erased, file, image };
enum class version_mode { ok, missing, bad_magic };

// Misbehaviour of one interface's maintain file. Counts of -1 mean "always".
struct iface_faults {
    bool no_open = false;       // open fails with EACCES
    int lose_user_writes = 0;   // write requests to the user record accepted but not stored
    int lose_writes = 0;        // write requests to any partition accepted but not stored
    int write_eio = 0;          // write requests failing with EIO
    int short_write = 0;        // most bytes one write call accepts; 0: no limit
    int reply_extra = 0;        // reply announces (and sends) this much more than offered
    int short_header = -1;      // reply is only this many header bytes (0..19); -1: off
    int data_short_by = 0;      // reply data this much shorter than announced
    int write_delay_ms = 0;     // each write request takes this long
    int fail_reads_after = -1;  // read requests answered whole before replies come back empty; -1: off
    bool operator==(const iface_faults&) const = default;
};

struct iface_cfg {
    std::string name;
    int port = 0;
    bool port_unreadable = false;   // port_idx exists but its read fails
    bool carrier = true;            // a down interface's carrier read fails with EINVAL
    std::optional<mac_addr> address;  // none: no address file
    iface_faults faults;
    bool operator==(const iface_cfg&) const = default;
};

struct function_cfg {
    std::string addr;  // dddd:bb:dd.f
    u16 vendor = ZELNIC_VENDOR;
    u16 device = 0;
    bool has_net = true;
    std::vector<iface_cfg> ifaces;
    bool operator==(const function_cfg&) const = default;
};

struct card_cfg {
    std::string addr;  // names the card's flash image file
    u16 device = KV9_4_PORT_DEV;
    layout_kind layout = layout_kind::standard;
    flash_preload preload = flash_preload::factory;
    std::string preload_path;  // for flash_preload::file
    mac_addr mac{};            // base address; port p gets mac + p
    u32 fw_version = 0;        // one version part per byte, most significant first
    u32 pxe_version = 0;       // least significant byte first
    version_mode version = version_mode::ok;
    std::string sn;            // serial number in the factory user record
    std::vector<u8> image;     // for flash_preload::image: the flash, exactly its size
    // When set, VERSION_INFO replies with these bytes (none: 0 data bytes)
    // instead of the record made from the versions above.
    std::optional<std::vector<u8>> version_reply;
    std::vector<function_cfg> functions;
    bool operator==(const card_cfg&) const = default;
};

struct stray_cfg {
    std::string name;
    bool is_dir = false;
    bool operator==(const stray_cfg&) const = default;
};

struct sim_config {
    listing_order order = listing_order::config;
    bool driver_present = true;  // false: no zelnic folder, as when the driver is not loaded
    std::vector<stray_cfg> strays;
    std::vector<card_cfg> cards;
    bool operator==(const sim_config&) const = default;
};

// Parses config text; `origin` names it in error messages ("FILE:LINE: ...").
// Throws sim_error on the first malformed line.
sim_config parse_config(const std::string& text, const std::string& origin = "config");
sim_config load_config_file(const std::string& path);

// The built-in controllers: a 4-port, a 2-port (two functions) and a 1-port
// KV3 card.
sim_config default_config();

// Every setting written out, so that parse_config gives the same config back
// (a card from a backup is written with flash=image, which no config takes).
std::string format_config(const sim_config& cfg);

std::string format_mac(const mac_addr& mac);
// `base` plus `n`, carried across the 48 bits as the tool counts addresses.
mac_addr mac_plus(const mac_addr& base, int n);

}  // namespace zsim
