// What a burn of a firmware (and PXE) image would write to one card,
// computed by the library without writing: each partition's bytes, whether
// the card already holds them, what of the card's record is kept, and
// whether the image's trailer is renewed. burn, verify and --dry-run share it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "card_inventory.h"
#include "flash_areas.h"
#include "flash/flash_access.h"
#include "progress.h"
#include "record_decode.h"

struct burn_options {
    std::string fw, pxe;              // image files; pxe may be empty
    bool overwrite_identity = false;  // write the image's user area instead of keeping the card's
    bool dry_run = false;
    std::string backup_dir;           // empty: a new folder under DEFAULT_BACKUP_ROOT
    bool no_backup = false;
    bool force = false;               // write partitions that already hold these bytes
};

struct burn_step {
    int partition;
    std::vector<u8> bytes;
    u32 at = 0;                        // flash offset of its first byte
    std::vector<area_comparison> areas;  // each area it covers, compared with the card
    // Every byte a read reaches already holds these bytes.
    bool on_card() const;
    std::size_t compared() const;
};

// The first area of `step` whose compared bytes differ from the card now;
// nullptr when every comparable byte is equal.
const area_comparison* first_differing(const std::vector<area_comparison>& areas);

struct burn_plan {
    std::vector<burn_step> steps;  // in writing order: PXE, then firmware
    json identity;                 // what of the card's record the image keeps
    bool trailer_renewed = false;

    // The user record the firmware step writes, when it covers the record.
    std::optional<ucfg_mac_sn> written_record(const eth_dev& dev) const;
};

// Checks both images against the card and prepares them. Refusals throw
// image_refused with the library's message; nothing is written.
burn_plan plan_burn(flash_access& flash, const eth_dev& dev, const burn_options& o);

json areas_json(const std::vector<area_comparison>& areas);
json plan_json(const burn_plan& plan, bool force);

// Writes the steps not on the card (all with `force`), then compares every
// step with the card again. A difference throws `problems` naming
// `restore_hint`; a failed write throws with it too.
json burn_and_verify(flash_access& flash, const eth_dev& dev, const burn_plan& plan, bool force,
                     const progress& report, const std::string& restore_hint);
