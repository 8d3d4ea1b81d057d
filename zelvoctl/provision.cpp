#include "provision.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "card_backup.h"
#include "card_change.h"
#include "card_identity.h"
#include "session.h"
#include "ucfg/identity.h"
#include "ucfg/mac_address.h"
#include "ucfg/ucfg_store.h"

namespace {

[[noreturn]] void refuse(const std::string& why) { throw ctl_error(ctl_status::usage, why); }

[[noreturn]] void used_up(const pool_spec& pool) {
    refuse("pool " + pool.name + " is used up: all " + std::to_string(pool.blocks()) + " identities are given");
}

bool carries(const card_identity& id, const ledger_row& row, int ports) {
    return id.record_valid && id.serial == row.serial && id.macs == mac_run(row.mac_first, ports);
}

// The serial the card holds, judged against the ledger. Returns true when the
// card is up to date; throws for a card that must not be renumbered.
bool judge_serial(const card_identity& id, const card_claim& claim, const provision_context& ctx, int ports) {
    if (!id.record_valid || id.serial.empty())
        return false;
    const auto row = ctx.book.find_serial(ctx.pool.name, id.serial);
    if (!row) {
        if (ctx.force)
            return false;
        refuse("the card carries serial " + id.serial + ", which pool " + ctx.pool.name +
               " never gave: a field card is not renumbered (--force renumbers it)");
    }
    if (row->state == "committed") {
        if (carries(id, *row, ports))
            return true;
        throw ctl_error(ctl_status::problems, "the card carries serial " + id.serial + " of pool " + ctx.pool.name +
                                                  " but not its MAC block from " + mac_string(row->mac_first) +
                                                  ": left as it is");
    }
    if (row->state == "void") {
        if (ctx.force)
            return false;
        refuse("the card carries serial " + id.serial + ", void in pool " + ctx.pool.name +
               " (--force gives it a new identity)");
    }
    if (row->pci_address != claim.pci_address || row->device_id != claim.device_id || row->host != claim.host)
        refuse("the card carries serial " + id.serial + ", reserved for card " + row->pci_address + " (" +
               row->device_id + ") on station " + row->host);
    return false;  // its own reservation: finished below
}

void write_identity(flash_access& flash, const eth_dev& dev, const ledger_row& row, int ports,
                    const std::string& restore_hint) {
    ucfg_mac_sn record;
    if (load_mac_sn(flash, &dev, &record) != 0)  // an invalid record loads as the defaults
        throw ctl_error(ctl_status::io_failure, "cannot load the user record; " + restore_hint);
    if (set_text(record, record_text::serial, row.serial.c_str()) != 0)
        throw ctl_error(ctl_status::io_failure, "serial " + row.serial + " not stored in the record");
    for (int p = 0; p < ports; ++p) {
        const std::uint64_t mac = row.mac_first + static_cast<std::uint64_t>(p);
        u8 bytes[6];
        for (int b = 0; b < 6; ++b)
            bytes[b] = static_cast<u8>(mac >> (8 * (5 - b)));
        mac_set(&record, p, bytes);
    }
    if (save_mac_sn(flash, &dev, &record) != 0)
        throw ctl_error(ctl_status::problems, "the user record did not read back as written (verified save failed); " +
                                                  restore_hint);
}

// The human lines of a card that got, keeps or would get an identity.
std::string identity_text(const std::string& verb, const card& c, const json& doc) {
    std::string out = verb + ": serial " + doc["serial"].get<std::string>() + " (" + card_model(c.ports) + ")\n";
    for (std::size_t p = 0; p < doc["macs"].size(); ++p)
        out += "  mac." + std::to_string(p) + " " + doc["macs"][p].get<std::string>() + "\n";
    if (doc.contains("backup"))
        out += "  backup " + doc["backup"].get<std::string>() + "\n";
    return out;
}

// Holds the card's turn at the ledger; passes it, having taken nothing, when
// the card leaves early.
class turn {
public:
    turn(identity_turns& turns, const card& c) : turns_(turns), card_(c) {}
    ~turn() { turns_.pass(card_, false); }
    turn(const turn&) = delete;
    turn& operator=(const turn&) = delete;
    std::uint64_t wait() { return turns_.wait(card_); }
    void pass(bool took) { turns_.pass(card_, took); }

private:
    identity_turns& turns_;
    const card& card_;
};

void provision(session& s, const card& c, flash_access& flash, const provision_context& ctx, const progress& report,
               card_result& r) {
    turn mine(ctx.turns, c);
    const card_claim claim{r.pci_address, hex(c.first->ddevice, 4), ctx.station, "", c.ports};
    if (c.ports > ctx.pool.per_card)
        refuse("pool field mac.per_card: pool " + ctx.pool.name + " gives " + std::to_string(ctx.pool.per_card) +
               " addresses per card, this card has " + std::to_string(c.ports) + " ports");
    const card_identity now = read_identity(flash, c);
    if (judge_serial(now, claim, ctx, c.ports)) {
        r.outcome = "up_to_date";
        r.doc["serial"] = now.serial;
        r.doc["macs"] = now.macs;
        return;
    }
    std::optional<ledger_row> row = ctx.book.find_reservation(ctx.pool.name, claim);
    if (ctx.dry_run) {
        std::uint64_t index = 0;
        if (row) {
            index = row->block_index;
        } else {
            // The cards before this one would take the identities before it.
            index = mine.wait() + ctx.book.next_index(ctx.pool.name);
            if (index >= ctx.pool.blocks())
                used_up(ctx.pool);
            mine.pass(true);
        }
        r.outcome = "would_provision";
        r.doc["serial"] = ctx.pool.serial(index);
        r.doc["macs"] = mac_run(ctx.pool.block_first(index), c.ports);
        return;
    }
    if (!row) {
        mine.wait();
        card_claim claimed = claim;
        claimed.backup_dir = default_backup_target(ctx.backup_root, r.pci_address).dir;
        row = ctx.book.reserve(ctx.pool, claimed);
        if (!row)
            used_up(ctx.pool);
        mine.pass(true);
    }
    mine.pass(false);  // its own reservation of an earlier run: the next card need not wait for its write
    r.doc["serial"] = row->serial;
    r.doc["macs"] = mac_run(row->mac_first, c.ports);
    r.doc["backup"] = row->backup_dir;
    if (carries(now, *row, c.ports)) {  // a run ended after its write: the card has it
        ctx.book.commit(*row);
        r.outcome = "committed";
        return;
    }
    card_change change(s, flash, "provision", c);
    change.serial_before = now.serial;
    change.serial_after = row->serial;
    change.details["pool"] = ctx.pool.name;
    record_change(change, [&] {
        // The first whole backup of a reservation holds the card as it was
        // before any write of this identity; a later run keeps it. When its
        // folder is taken by something else (an old backup cut short), the
        // backup moves on to a numbered name and the row records where it went.
        if (!std::filesystem::exists(row->backup_dir + "/" + MANIFEST_NAME)) {
            row->backup_dir = take_backup(change, c, backup_target{row->backup_dir, true}, report).dir;
            ctx.book.record_backup(*row);
            r.doc["backup"] = row->backup_dir;
        }
        change.backup = row->backup_dir;
        const std::string hint = "serial " + row->serial + " stays reserved for this card; the card's backup is in " +
                                 row->backup_dir;
        report.step("writing serial " + row->serial + " and " + std::to_string(c.ports) + " MAC addresses");
        r.written = true;
        write_identity(change, *c.first, *row, c.ports, hint);
        if (!carries(read_back(hint, [&] { return read_identity(change, c); }), *row, c.ports))
            throw ctl_error(ctl_status::problems,
                            "the card does not read back serial " + row->serial + " and its MACs; " + hint);
        ctx.book.commit(*row);
    });
    r.outcome = "provisioned";
}

}  // namespace

identity_turns::identity_turns(std::vector<const card*> cards)
    : cards_(std::move(cards)), passed_(cards_.size(), false), took_(cards_.size(), false) {}

std::size_t identity_turns::index_of(const card& c) const {
    const auto at = std::find(cards_.begin(), cards_.end(), &c);
    if (at == cards_.end())
        throw std::logic_error("card " + pci_address(*c.first) + " is not one of this run's cards");
    return static_cast<std::size_t>(at - cards_.begin());
}

std::uint64_t identity_turns::wait(const card& c) {
    const std::size_t i = index_of(c);
    std::unique_lock lock(mu_);
    moved_.wait(lock, [&] { return next_ >= i; });
    return static_cast<std::uint64_t>(std::count(took_.begin(), took_.begin() + static_cast<std::ptrdiff_t>(i), true));
}

void identity_turns::pass(const card& c, bool took) {
    const std::size_t i = index_of(c);
    {
        const std::lock_guard lock(mu_);
        if (passed_[i])
            return;
        passed_[i] = true;
        took_[i] = took;
        while (next_ < passed_.size() && passed_[next_])
            ++next_;
    }
    moved_.notify_all();
}

void provision_card(session& s, const card& c, flash_access& flash, const provision_context& ctx,
                    const progress& report, card_result& r) {
    try {
        provision(s, c, flash, ctx, report, r);
    } catch (const ctl_error& e) {
        // A card that must not be renumbered, or that the pool cannot serve,
        // is refused: nothing was written to it.
        if (e.status() != ctl_status::usage)
            throw;
        r.outcome = "refused";
        r.status = e.status();
        r.error = e.what();
        return;
    }
    static const std::map<std::string, std::string> verbs = {
        {"provisioned", "provisioned"},
        {"committed", "already carried its reservation, committed"},
        {"up_to_date", "up to date"},
        {"would_provision", "would get"}};
    r.text = identity_text(verbs.at(r.outcome), c, r.doc);
}
