// A backup folder is checked whole before a restore may write: every way it
// can be damaged or belong to another card is refused with a message naming
// what is wrong.
#include <gtest/gtest.h>

#include "card_backup.h"
#include "ctl_error.h"
#include "maintain/maintain.h"
#include "sha256.h"
#include "test_support.h"

namespace {

using test_support::bytes;
using test_support::write_file_bytes;
using test_support::to_bytes;

// A folder with user.bin (`user`) and a manifest describing `described`.
void make_backup(const test_support::temp_dir& dir, const bytes& user, const bytes& described,
                 const std::string& device_id = "0x8308") {
    write_file_bytes(dir / "user.bin", user);
    const json manifest = {
        {"manifest_version", 1},
        {"card", {{"pci_address", "0000:03:00.0"}, {"device_id", device_id}, {"serial", "SN1"}}},
        {"files", {{{"partition", 3}, {"file", "user.bin"}, {"size", described.size()}, {"sha256", sha256_hex(described)}}}}};
    write_file_bytes(dir / "manifest.json", to_bytes(manifest.dump()));
}

TEST(ZelvoctlBackup, DamagedOrForeignBackupsAreRefused) {
    const bytes user(480, 0x5a);
    bytes flipped = user;
    flipped[479] ^= 1;
    card_identity card{"0000:03:00.0", 0x8308, "4-port", true, "SN1", {}};
    card_identity moved = card, other = card, replaced = card, blank = card;
    moved.pci_address = "0000:09:00.0";  // same serial: the card was moved
    other.pci_address = "0000:09:00.0";
    other.serial = "SN2";
    replaced.serial = "SN2";  // another card in the same slot
    blank.serial = "";        // an erased record: the slot decides
    const struct {
        bytes stored, described;
        const char* device_id;
        const card_identity* now;
        std::string error;  // "" when the backup must be accepted
    } cases[] = {
        {user, user, "0x8308", &card, ""},
        {user, user, "0x8308", &moved, ""},
        {flipped, user, "0x8308", &card, "user.bin is damaged: its SHA-256 differs from the manifest"},
        {bytes(100, 0x5a), user, "0x8308", &card, "user.bin holds 100 bytes, the manifest says 480"},
        {user, user, "0x8318", &card, "the backup is of a card with device id 0x8318, this card is 0x8308"},
        {user, user, "0x8308", &other,
         "the backup is of card 0000:03:00.0 with serial 'SN1', this card 0000:09:00.0 has serial 'SN2'"},
        {user, user, "0x8308", &replaced,
         "the backup is of card 0000:03:00.0 with serial 'SN1', this card 0000:03:00.0 has serial 'SN2'"},
        {user, user, "0x8308", &blank, ""},
    };
    for (const auto& c : cases) {
        const test_support::temp_dir dir;
        make_backup(dir, c.stored, c.described, c.device_id);
        try {
            const loaded_backup b = load_backup(dir.path());
            if (const std::string other = other_card_in(b, *c.now); !other.empty())
                throw ctl_error(ctl_status::usage, other);
            EXPECT_EQ(c.error, "");
            EXPECT_EQ(b.partitions.at(PART_MAC_ADDR), user);
        } catch (const ctl_error& e) {
            EXPECT_EQ(e.status(), ctl_status::usage);
            EXPECT_TRUE(std::string(e.what()).ends_with(c.error) && !c.error.empty()) << e.what();
        }
    }
}

}  // namespace
