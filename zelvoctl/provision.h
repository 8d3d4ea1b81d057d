// Provisioning of one card from a pool: the next free serial and MAC block
// reserved in the ledger, the card backed up, the identity written with the
// verified save and read back, then the reservation committed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "card_inventory.h"
#include "card_runner.h"
#include "ctl_error.h"
#include "flash/flash_access.h"
#include "ledger.h"
#include "progress.h"

class session;

// The cards of one run take new identities in card order, whichever thread
// reaches the ledger first: card k waits for its turn until every card before
// it has taken its identity or will take none.
class identity_turns {
public:
    explicit identity_turns(std::vector<const card*> cards);

    // Waits for the turn of `c`; returns how many cards before it took (or,
    // in a dry run, would take) a new identity.
    std::uint64_t wait(const card& c);
    // `c` took a new identity (`took`) or will take none; its turn is over.
    // Passing a turn again does nothing.
    void pass(const card& c, bool took);

private:
    std::size_t index_of(const card& c) const;

    std::vector<const card*> cards_;
    std::vector<bool> passed_, took_;
    std::size_t next_ = 0;  // every card before this one has passed
    std::mutex mu_;
    std::condition_variable moved_;
};

struct provision_context {
    const pool_spec& pool;
    ledger& book;
    std::string station;      // recorded as the row's host
    std::string backup_root;  // each card's backup goes into a new folder below
    bool dry_run = false;
    bool force = false;  // renumber a card carrying a serial the ledger does not know
    identity_turns& turns;
};

// Provisions card `c` through `flash` (which holds the card for a writing
// run); a change made is appended to the session's history. Fills r.outcome (provisioned, committed: the card already carried its
// reservation, up_to_date, would_provision in a dry run, or refused), r.doc
// (serial, macs, backup) and r.text. A refusal (a field card, a used-up pool)
// is the result's status and error; any other failure is thrown, leaving
// r.doc as far as the card got.
void provision_card(session& s, const card& c, flash_access& flash, const provision_context& ctx,
                    const progress& report, card_result& r);
