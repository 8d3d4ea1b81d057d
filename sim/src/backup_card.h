// A card reproduced from a `zelvoctl backup` folder: its identity from the
// manifest, its flash put together from the partition files, its version
// record as the backup holds it. Every file is checked against the
// manifest's size and SHA-256 before anything is used.
#pragma once

#include <string>
#include <vector>

#include "sim_config.h"

namespace zsim {

// The file in a backup folder that describes it.
constexpr char BACKUP_MANIFEST[] = "manifest.json";

// One card per folder, in the order given, with one interface per port.
// Throws sim_error naming the folder and the file that is missing, damaged
// or malformed.
sim_config config_from_backups(const std::vector<std::string>& dirs);

// The interface name the simulator gives port `port` of a card at PCI
// address `addr` with `ports` ports: enpBsS (one port) or enpBsSfP, with the
// bus and slot in decimal, enPDpBsS... outside PCI domain 0.
std::string iface_name_for(const std::string& addr, int port, int ports);

}  // namespace zsim
