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

// A card's PCI address as a folder name: "0000-03-00.0" (no ':', which scp
// and rsync read as host:path).
std::string backup_folder_name(const std::string& pci_address);

// Where a backup goes. A backup never changes once taken: the folder must
// not exist; a `numbered` one (a default name) moves on to DIR-2, DIR-3 ...
// when another backup took its name first.
struct backup_target {
    std::string dir;
    bool numbered = false;
};
// ROOT/ADDR-YYYYmmddTHHMMSSZ, ADDR as backup_folder_name gives it.
backup_target default_backup_target(const std::string& root, const std::string& pci_address);

// Reads every readable partition of the card into a temporary folder beside
// the destination (0700, files 0600, each file new), with the manifest, syncs
// it and renames it into place:
// the destination either is a whole backup or does not exist. A destination
// that exists is refused (usage error) before anything is read.
struct taken_backup {
    std::string dir;
    json manifest;
};
taken_backup take_backup(flash_access& flash, const card& c, const backup_target& to, const progress& report);

// A backup read back from its folder with every file checked against the
// manifest. Throws a usage error naming the file that is missing, of the
// wrong size or damaged, or what is wrong with the manifest.
struct loaded_backup {
    json manifest;
    std::map<int, std::vector<u8>> partitions;  // by partition number
};
loaded_backup load_backup(const std::string& dir);

// Whether a backup is of this card: the device id must match (else a usage
// error), and the serial number when both records hold one, the PCI address
// otherwise. Returns "" for the same card, else why it is another.
std::string other_card_in(const loaded_backup& backup, const card_identity& card_now);

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
