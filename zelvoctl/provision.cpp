#include "provision.h"

#include <filesystem>

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

void provision(session& s, const card& c, const provision_context& ctx, provision_result& r) {
    // A run that writes holds the card from its first read to its read-back.
    const auto held = ctx.dry_run ? nullptr : s.hold(c);
    flash_access& flash = s.flash();
    const card_claim claim{r.pci_address, r.device_id, ctx.station, "", c.ports};
    if (c.ports > ctx.pool.per_card)
        refuse("pool field mac.per_card: pool " + ctx.pool.name + " gives " + std::to_string(ctx.pool.per_card) +
               " addresses per card, this card has " + std::to_string(c.ports) + " ports");
    const card_identity now = read_identity(flash, c);
    if (judge_serial(now, claim, ctx, c.ports)) {
        r.outcome = "up_to_date";
        r.serial = now.serial;
        r.macs = now.macs;
        return;
    }
    std::optional<ledger_row> row = ctx.book.find_reservation(ctx.pool.name, claim);
    if (ctx.dry_run) {
        const std::uint64_t index = row ? row->block_index : ctx.book.next_index(ctx.pool.name);
        if (!row && index >= ctx.pool.blocks())
            used_up(ctx.pool);
        r.outcome = "would_provision";
        r.serial = ctx.pool.serial(index);
        r.macs = mac_run(ctx.pool.block_first(index), c.ports);
        return;
    }
    if (!row) {
        card_claim mine = claim;
        mine.backup_dir = default_backup_target(ctx.backup_root, r.pci_address).dir;
        row = ctx.book.reserve(ctx.pool, mine);
        if (!row)
            used_up(ctx.pool);
    }
    r.serial = row->serial;
    r.macs = mac_run(row->mac_first, c.ports);
    r.backup_dir = row->backup_dir;
    if (carries(now, *row, c.ports)) {  // a run ended after its write: the card has it
        ctx.book.commit(*row);
        r.outcome = "committed";
        return;
    }
    card_change change(s, s.flash(), "provision", c);
    change.serial_before = now.serial;
    change.serial_after = row->serial;
    change.details["pool"] = ctx.pool.name;
    record_change(change, [&] {
        // The first whole backup of a reservation holds the card as it was
        // before any write of this identity; a later run keeps it. When its
        // folder is taken by something else (an old backup cut short), the
        // backup moves on to a numbered name and the row records where it went.
        if (!std::filesystem::exists(row->backup_dir + "/" + MANIFEST_NAME)) {
            row->backup_dir = take_backup(change, c, backup_target{row->backup_dir, true}, ctx.report).dir;
            ctx.book.record_backup(*row);
            r.backup_dir = row->backup_dir;
        }
        change.backup = row->backup_dir;
        const std::string hint = "serial " + row->serial + " stays reserved for this card; the card's backup is in " +
                                 row->backup_dir;
        ctx.report.step("writing serial " + row->serial + " and " + std::to_string(c.ports) + " MAC addresses");
        write_identity(change, *c.first, *row, c.ports, hint);
        if (!carries(read_back(hint, [&] { return read_identity(change, c); }), *row, c.ports))
            throw ctl_error(ctl_status::problems,
                            "the card does not read back serial " + row->serial + " and its MACs; " + hint);
        ctx.book.commit(*row);
    });
    r.outcome = "provisioned";
}

}  // namespace

provision_result provision_card(session& s, const card& c, const provision_context& ctx) {
    provision_result r;
    r.interface = c.first->name;
    r.pci_address = pci_address(*c.first);
    r.device_id = hex(c.first->ddevice, 4);
    r.model = card_model(c.ports);
    try {
        provision(s, c, ctx, r);
    } catch (const ctl_error& e) {
        r.status = e.status();
        r.message = e.what();
        // A library step the channel's lock fault stopped fails by that fault.
        if (!s.flash().fault().ok() && r.status == ctl_status::io_failure &&
            ctl_status_of(s.flash().fault()) == ctl_status::lock_timeout) {
            r.status = ctl_status::lock_timeout;
            r.message = "the card's maintain file stayed locked";
        }
    } catch (const std::exception& e) {
        r.status = ctl_status::io_failure;
        r.message = e.what();
    }
    if (r.status != ctl_status::ok)
        r.outcome = r.status == ctl_status::usage ? "refused" : "failed";
    return r;
}
