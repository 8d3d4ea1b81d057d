// zelvoctl backup and restore.
#include "card_backup.h"
#include "card_change.h"
#include "card_identity.h"
#include "card_set.h"
#include "commands.h"
#include "flash_areas.h"
#include "flash_partitions.h"
#include "identity_guard.h"

command_result run_backup(session& s, const backup_options& o, const card_selection& sel) {
    if (s.from_image())
        throw ctl_error(ctl_status::usage, "backup reads a card, not an image file");
    const bool many = sel.many();
    auto backup_card = [&](const card& c, card_channel& channel, const progress& report, card_result& r) {
        const std::string addr = pci_address(*c.first);
        backup_target to = o.to.empty() ? default_backup_target(DEFAULT_BACKUP_ROOT, addr) : backup_target{o.to};
        // Many cards backed up into one folder each get their own inside it.
        if (!o.to.empty() && many)
            to.dir += "/" + backup_folder_name(addr);
        const taken_backup b = take_backup(channel.flash(), c, to, report);
        r.doc = {{"dir", b.dir}, {"manifest", b.manifest}};
        r.text = addr + " backed up to " + b.dir + "\n";
        r.outcome = "backed_up";
    };
    if (!many) {
        const card& c = s.card_holding(*s.targets(sel.device(), false).front());
        card_channel channel(s, c, false, false);
        card_result one;
        backup_card(c, channel, s.report(), one);
        return {{{"backups", json::array({one.doc})}}, one.text, ctl_status::ok};
    }
    command_result r = run_card_set(s, sel, false, {{"backed_up", "backed up"}}, backup_card);
    // Every backup taken, listed as a single card's run lists its own.
    r.doc["backups"] = json::array();
    for (const json& c : r.doc["cards"])
        if (c.contains("manifest"))
            r.doc["backups"].push_back({{"dir", c["dir"]}, {"manifest", c["manifest"]}});
    return r;
}

command_result run_restore(session& s, const restore_options& o) {
    if (o.from.empty())
        throw ctl_error(ctl_status::usage, "restore needs --from DIR");
    const eth_dev& dev = *s.targets(o.device, false).front();
    const card& c = s.card_holding(dev);
    const loaded_backup backup = load_backup(o.from);
    const auto held = s.hold(c);
    card_change change(s, s.flash(), "restore", c);
    const card_identity now = read_identity(change, c);
    const std::string other = other_card_in(backup, now);
    if (!other.empty() && !o.other_card)
        throw ctl_error(ctl_status::usage, other + " (--other-card writes it anyway, after backing this card up)");
    const auto user = backup.partitions.find(PART_MAC_ADDR);
    if (user != backup.partitions.end() && !o.force)
        refuse_identity_clash(change, s.cards(), c, record_from_bytes(read_partition(change, *c.first, PART_MAC_ADDR)),
                              record_from_bytes(user->second));
    change.serial_before = now.serial;
    change.serial_after = user != backup.partitions.end() ? serial_of(record_from_bytes(user->second)) : now.serial;
    change.details["restored_from"] = o.from;
    command_result r;
    r.doc["backup"] = nullptr;
    const auto outcomes = record_change(change, [&] {
        std::string hint = "the backup in " + o.from + " is unchanged: restore from it again";
        if (!other.empty()) {
            change.backup =
                take_backup(change, c,
                            o.backup_dir.empty() ? default_backup_target(DEFAULT_BACKUP_ROOT, pci_address(*c.first))
                                                 : backup_target{o.backup_dir},
                            s.report())
                    .dir;
            r.doc["backup"] = change.backup;
            r.text += "this card backed up to " + change.backup + "\n";
            hint += "; this card's own content is in " + change.backup;
        }
        return write_and_verify(change, *c.first, backup.partitions, false, s.report(), hint);
    });
    r.doc["restored_from"] = o.from;
    r.doc["partitions"] = outcomes_json(outcomes);
    for (const json& p : r.doc["partitions"])
        r.text += (p["written"].get<bool>() ? "written   " : "unchanged ") + p["partition"].get<std::string>() + "\n";
    // What no read reaches, a backup cannot hold: the card keeps whatever
    // those bytes hold now.
    r.doc["not_restored"] = unreadable_json(*c.first);
    r.text += "restored " + pci_address(*c.first) + " from " + o.from + "; every byte a read reaches verified\n";
    for (const json& u : r.doc["not_restored"])
        r.text += "not restored: " + u["area"].get<std::string>() + " area from " + u["offset"].get<std::string>() +
                  ", " + std::to_string(u["bytes"].get<u32>()) + " bytes no read reaches (a backup cannot hold them)\n";
    return r;
}
