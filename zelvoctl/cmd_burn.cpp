// zelvoctl burn and verify: the library computes the image for the card;
// burn backs the card up, writes what differs and reads it back; verify
// only compares.
#include "burn_plan.h"
#include "cached_flash.h"
#include "card_backup.h"
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

}  // namespace

command_result run_burn(session& s, const burn_options& o) {
    if (s.from_image())
        throw ctl_error(ctl_status::usage, "burn writes a card, not an image file");
    if (o.no_backup && !o.backup_dir.empty())
        throw ctl_error(ctl_status::usage, "--backup-dir and --no-backup exclude each other");
    const eth_dev& dev = *s.targets(o.device, false).front();
    const card& c = s.card_holding(dev);
    const auto held = o.dry_run ? nullptr : s.hold(c);
    cached_flash flash(s.flash());
    const burn_plan plan = plan_burn(flash, dev, o);
    if (o.overwrite_identity && !o.force)
        if (const auto image_record = plan.written_record(dev))
            refuse_identity_clash(flash, s.cards(), c, record_from_bytes(read_partition(flash, dev, PART_MAC_ADDR)),
                                  *image_record);
    command_result r;
    r.doc["interface"] = dev.name;
    r.doc["dry_run"] = o.dry_run;
    r.doc["plan"] = plan_json(plan, o.force);
    r.text = plan_text(r.doc["plan"]);
    if (o.dry_run)
        return r;
    std::string hint = "no backup was taken";
    r.doc["backup"] = nullptr;
    if (!o.no_backup) {
        const std::string dir =
            take_backup(flash, c, o.backup_dir.empty() ? default_backup_target(DEFAULT_BACKUP_ROOT, pci_address(*c.first))
                                                       : backup_target{o.backup_dir},
                        s.report())
                .dir;
        r.doc["backup"] = dir;
        r.text += "backed up to " + dir + "\n";
        hint = "restore with: zelvoctl restore " + std::string(dev.name) + " --from " + dir;
    }
    r.doc["verified"] = burn_and_verify(flash, dev, plan, o.force, s.report(), hint);
    r.text += "written and read back\n";
    return r;
}

command_result run_verify(session& s, const burn_options& o) {
    const eth_dev& dev = *s.targets(o.device, false).front();
    cached_flash flash(s.flash());
    const burn_plan plan = plan_burn(flash, dev, o);
    command_result r;
    r.doc["interface"] = dev.name;
    r.doc["partitions"] = json::array();
    for (const burn_step& step : plan.steps) {
        const char* name = partition_by_number(step.partition).name;
        r.doc["partitions"].push_back(
            {{"partition", name}, {"bytes", step.bytes.size()}, {"matches", step.on_card()}, {"areas", areas_json(step.areas)}});
        r.text += std::string(name) + (step.on_card() ? ": matches\n" : ": DIFFERS\n");
        for (const area_comparison& a : step.areas)
            if (a.differing > 0)
                r.text += "  " + std::string(a.area) + " area: " + std::to_string(a.differing) + " bytes differ, from " +
                          hex(static_cast<u32>(a.first_difference), 5) + "\n";
        if (!step.on_card())
            r.status = ctl_status::problems;
    }
    return r;
}
