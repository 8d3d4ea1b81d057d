// A card's backup: every readable partition in its own file beside a
// manifest (card identity, time, each file's size and SHA-256), and the
// restore that checks all of it before the first write.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "card_identity.h"
#include "progress.h"

constexpr char MANIFEST_NAME[] = "manifest.json";
constexpr char DEFAULT_BACKUP_ROOT[] = "/var/lib/zelvoctl/backups";

// A new folder for a backup of the card at `pci_address` under `root`:
// ROOT/ADDR-YYYYmmddTHHMMSSZ, with -2, -3 ... when that exists.
std::string new_backup_dir(const std::string& root, const std::string& pci_address);

// Reads every readable partition of the card and writes them with the
// manifest into `dir` (missing folders created 0700, files 0600, each file new:
// one already there is an error). Returns the manifest.
json take_backup(flash_access& flash, const card& c, const std::string& dir, const progress& report);

// A backup read back from its folder with every file checked against the
// manifest. Throws a usage error naming the file that is missing, of the
// wrong size or damaged, or what is wrong with the manifest.
struct loaded_backup {
    json manifest;
    std::map<int, std::vector<u8>> partitions;  // by partition number
};
loaded_backup load_backup(const std::string& dir);

// Refuses (usage error) a backup of another card: the device id must match,
// and the serial number or the PCI address.
void check_backup_is_of(const loaded_backup& backup, const card_identity& card_now);

// What a restore or burn did with one partition.
struct partition_outcome {
    int partition;
    std::size_t bytes;
    bool written;  // false: the card already held these bytes
};

// Writes each writable partition whose content differs from the card's
// (all of them with `force`), then reads every one back and compares.
// A difference throws a `problems` error naming `restore_hint`.
std::vector<partition_outcome> write_and_verify(flash_access& flash, const eth_dev& dev,
                                                const std::map<int, std::vector<u8>>& content, bool force,
                                                const progress& report, const std::string& restore_hint);

json outcomes_json(const std::vector<partition_outcome>& outcomes);
