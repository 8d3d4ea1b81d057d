// Provisioning of one card from a pool: the next free serial and MAC block
// reserved in the ledger, the card backed up, the identity written with the
// verified save and read back, then the reservation committed.
#pragma once

#include <string>
#include <vector>

#include "card_inventory.h"
#include "ctl_error.h"
#include "flash/flash_access.h"
#include "ledger.h"
#include "progress.h"

class session;

struct provision_context {
    const pool_spec& pool;
    ledger& book;
    std::string station;      // recorded as the row's host
    std::string backup_root;  // each card's backup goes into a new folder below
    bool dry_run = false;
    bool force = false;  // renumber a card carrying a serial the ledger does not know
    const progress& report;
};

// What happened to one card; the human block and the JSON object are built
// from it.
struct provision_result {
    std::string interface, pci_address, device_id, model;
    // provisioned, committed (the card already carried its reservation),
    // up_to_date, would_provision (dry run), refused, failed
    std::string outcome;
    ctl_status status = ctl_status::ok;
    std::string serial;             // the identity given, kept or planned
    std::vector<std::string> macs;  // one per port
    std::string backup_dir;         // "" when none was taken
    std::string message;            // why refused or failed
};

// Never throws: a refusal or failure is the result's status and message.
// A writing run holds the card's maintain locks for the whole card.
provision_result provision_card(session& s, const card& c, const provision_context& ctx);
