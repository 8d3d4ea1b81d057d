// zelvoctl backup and restore.
#include "card_backup.h"
#include "card_set.h"
#include "commands.h"
#include "flash_partitions.h"

command_result run_backup(session& s, const backup_options& o, const card_selection& sel) {
    if (s.from_image())
        throw ctl_error(ctl_status::usage, "backup reads a card, not an image file");
    const bool many = sel.many();
    auto backup_card = [&](const card& c, const progress& report, card_result& r) {
        const std::string addr = pci_address(*c.first);
        // Many cards backed up into one folder each get their own inside it.
        const std::string dir = o.to.empty() ? new_backup_dir(DEFAULT_BACKUP_ROOT, addr) : many ? o.to + "/" + addr : o.to;
        r.doc["dir"] = dir;
        r.doc["manifest"] = take_backup(s.flash(), c, dir, report);
        r.text = addr + " backed up to " + dir + "\n";
        r.outcome = "backed_up";
    };
    if (!many) {
        card_result one;
        backup_card(s.card_holding(*s.targets(sel.device(), false).front()), s.report(), one);
        return {{{"backups", json::array({one.doc})}}, one.text, ctl_status::ok};
    }
    command_result r = run_card_set(s, sel, {{"backed_up", "backed up"}}, backup_card);
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
    check_backup_is_of(backup, read_identity(s.flash(), c));
    const auto outcomes = write_and_verify(s.flash(), *c.first, backup.partitions, false, s.report(),
                                           "the backup in " + o.from + " is unchanged: restore from it again");
    command_result r;
    r.doc["restored_from"] = o.from;
    r.doc["partitions"] = outcomes_json(outcomes);
    for (const json& p : r.doc["partitions"])
        r.text += (p["written"].get<bool>() ? "written   " : "unchanged ") + p["partition"].get<std::string>() + "\n";
    r.text += "restored " + pci_address(*c.first) + " from " + o.from + " and verified\n";
    return r;
}
