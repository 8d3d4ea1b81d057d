// zelvoctl burn and verify: the library computes the image for the card;
// burn backs the card up, writes what differs and reads it back; verify
// only compares.
#include <algorithm>
#include <optional>
#include <utility>

#include "burn_plan.h"
#include "cached_flash.h"
#include "card_backup.h"
#include "card_change.h"
#include "card_identity.h"
#include "card_set.h"
#include "commands.h"
#include "flash_partitions.h"
#include "identity_guard.h"

namespace {

std::string plan_text(const json& plan) {
    std::string out;
    for (const json& p : plan["partitions"]) {
        out += p["partition"].get<std::string>() + " " + std::to_string(p["bytes"].get<std::size_t>()) + " bytes: " +
               (p["write"].get<bool>() ? (p["on_card"].get<bool>() ? "write (forced)" : "write")
                                       : "already on the card, skipped") + "\n";
        for (const json& a : p["areas"])
            out += "  " + a["area"].get<std::string>() + " area: " + std::to_string(a["bytes"].get<std::size_t>()) +
                   " bytes, " + std::to_string(a["bytes_differing"].get<std::size_t>()) + " differ, " +
                   std::to_string(a["bytes_unreadable"].get<std::size_t>()) + " no read reaches\n";
    }
    const json& id = plan["identity"];
    out += std::string(id["kept"].get<bool>() ? "card's user record kept: " : "card's user record replaced: ") +
           id["how"].get<std::string>() + "\n";
    out += plan["trailer_renewed"].get<bool>() ? "CRC trailer renewed\n" : "no CRC trailer\n";
    return out;
}

// One card's burn into `r`: the plan, the backup taken first, the writes and
// the read-back, the card held throughout, each write recorded in the
// history. `backup_root` set: the backup goes into a new folder under it, and
// a card whose plan writes nothing is not backed up. `early`: the plan and
// the backup are printed as soon as they are known, before the first write
// (one card's human run); otherwise they stay in the card's block.
void burn_card(session& s, const card& c, const eth_dev& dev, card_channel& channel, const burn_options& o,
               const progress& report, const std::string& backup_root, bool early, card_result& r) {
    std::optional<card_change> change;
    if (!o.dry_run)
        change.emplace(s, channel.flash(), "burn", c);
    cached_flash flash(change ? static_cast<flash_access&>(*change) : channel.flash());
    const burn_plan plan = plan_burn(flash, dev, o);
    const ucfg_mac_sn record = record_from_bytes(read_partition(flash, dev, PART_MAC_ADDR));
    const auto image_record = plan.written_record(dev);
    if (o.overwrite_identity && !o.force && image_record)
        refuse_identity_clash(flash, s.cards(), c, record, *image_record);
    r.doc["interface"] = dev.name;
    r.doc["dry_run"] = o.dry_run;
    r.doc["plan"] = plan_json(plan, o.force);
    r.text = plan_text(r.doc["plan"]);
    const bool writes = std::any_of(plan.steps.begin(), plan.steps.end(),
                                    [&](const burn_step& step) { return o.force || !step.on_card(); });
    r.outcome = !writes ? "up_to_date" : o.dry_run ? "would_write" : "written";
    if (o.dry_run)
        return;
    const auto say = [&](const std::string& text) {
        if (early)
            s.tell(text);
        else
            r.text += text;
    };
    say(std::exchange(r.text, {}));
    change->serial_before = serial_of(record);
    change->serial_after = serial_of(plan.identity["kept"].get<bool>() || !image_record ? record : *image_record);
    r.doc["backup"] = nullptr;
    try {
        r.doc["verified"] = record_change(*change, [&] {
            std::string hint = "no backup was taken";
            if (!o.no_backup && (backup_root.empty() || writes)) {
                const std::string addr = pci_address(*c.first);
                const backup_target to = !backup_root.empty()   ? default_backup_target(backup_root, addr)
                                         : o.backup_dir.empty() ? default_backup_target(DEFAULT_BACKUP_ROOT, addr)
                                                                : backup_target{o.backup_dir};
                change->backup = take_backup(flash, c, to, report).dir;
                r.doc["backup"] = change->backup;
                say("backed up to " + change->backup + "\n");
                hint = "restore with: zelvoctl restore " + std::string(dev.name) + " --from " + change->backup;
            }
            return burn_and_verify(flash, dev, plan, o.force, report, hint);
        });
    } catch (...) {
        r.written = flash.wrote();
        throw;
    }
    r.written = flash.wrote();
    r.text += r.written ? "written and read back\n" : "already on the card, nothing written\n";
}

void verify_card(flash_access& card_flash, const eth_dev& dev, const burn_options& o, card_result& r) {
    cached_flash flash(card_flash);
    const burn_plan plan = plan_burn(flash, dev, o);
    r.doc["interface"] = dev.name;
    r.doc["partitions"] = json::array();
    r.outcome = "matches";
    for (const burn_step& step : plan.steps) {
        const char* name = partition_by_number(step.partition).name;
        r.doc["partitions"].push_back(
            {{"partition", name}, {"bytes", step.bytes.size()}, {"matches", step.on_card()}, {"areas", areas_json(step.areas)}});
        r.text += std::string(name) + (step.on_card() ? ": matches\n" : ": DIFFERS\n");
        for (const area_comparison& a : step.areas)
            if (a.differing > 0)
                r.text += "  " + std::string(a.area) + " area: " + std::to_string(a.differing) + " bytes differ, from " +
                          hex(static_cast<u32>(a.first_difference), 5) + "\n";
        if (!step.on_card()) {
            r.status = ctl_status::problems;
            r.outcome = "differs";
        }
    }
}

command_result single(const card_result& r) { return {r.doc, r.text, r.status}; }

}  // namespace

command_result run_burn(session& s, const burn_options& o, const card_selection& sel) {
    if (s.from_image())
        throw ctl_error(ctl_status::usage, "burn writes a card, not an image file");
    if (o.no_backup && !o.backup_dir.empty())
        throw ctl_error(ctl_status::usage, "--backup-dir and --no-backup exclude each other");
    if (sel.many()) {
        // The one record of an image written whole onto every card would
        // give them all the same addresses and serial.
        if (o.overwrite_identity)
            throw ctl_error(ctl_status::usage, "--overwrite-identity writes one card's identity: give one DEVICE");
        const std::string root = o.backup_dir.empty() ? DEFAULT_BACKUP_ROOT : o.backup_dir;
        command_result r = run_card_set(s, sel, !o.dry_run, write_words(o.dry_run),
                                        [&](const card& c, card_channel& channel, const progress& report, card_result& cr) {
                                            burn_card(s, c, *c.first, channel, o, report, root, false, cr);
                                        });
        r.doc["dry_run"] = o.dry_run;
        return r;
    }
    const eth_dev& dev = *s.targets(sel.device(), false).front();
    const card& c = s.card_holding(dev);
    card_channel channel(s, c, !o.dry_run, false);
    card_result r;
    burn_card(s, c, dev, channel, o, s.report(), "", true, r);
    return single(r);
}

command_result run_verify(session& s, const burn_options& o, const card_selection& sel) {
    if (sel.many() && !s.from_image())
        return run_card_set(s, sel, false, {{"matches", "matching"}, {"differs", "differing"}},
                            [&](const card& c, card_channel& channel, const progress&, card_result& r) {
                                verify_card(channel.flash(), *c.first, o, r);
                            });
    card_result r;
    verify_card(s.flash(), *s.targets(sel.device(), false).front(), o, r);
    return single(r);
}
