// zelvoctl set: fields of the user record, shown before and after, saved with
// the library's verified save.
#include "card_identity.h"
#include "commands.h"
#include "field_setters.h"
#include "flat_fields.h"
#include "identity_guard.h"
#include "ucfg/ucfg_store.h"

namespace {

std::string change_table(const std::string& device, const std::vector<field_change>& changes) {
    std::string out = "== " + device + "\n";
    if (changes.empty())
        return out + "nothing changes\n";
    field_rows rows;
    for (const field_change& ch : changes)
        rows.emplace_back(ch.field, ch.before + " -> " + ch.after);
    return out + format_rows(rows);
}

}  // namespace

command_result run_set(session& s, const set_options& o) {
    if (o.fields.empty())
        throw ctl_error(ctl_status::usage, "set needs at least one FIELD=VALUE");
    command_result r;
    r.doc["dry_run"] = o.dry_run;
    r.doc["devices"] = json::array();
    for (const eth_dev* dev : s.targets(o.target.device, o.target.all)) {
        const auto held = o.dry_run ? nullptr : s.hold(s.card_holding(*dev));
        ucfg_mac_sn record;
        if (load_mac_sn(s.flash(), dev, &record) != 0)
            throw ctl_error(ctl_status::io_failure, std::string("cannot load the user record of ") + dev->name);
        ucfg_mac_sn changed = record;
        for (const std::string& field : o.fields)
            apply_field(changed, field);
        const auto changes = changed_fields(decode_user_record(record), decode_user_record(changed));
        if (!o.force)
            refuse_identity_clash(s.flash(), s.cards(), s.card_holding(*dev), record, changed);
        json list = json::array();
        for (const field_change& ch : changes)
            list.push_back({{"field", ch.field}, {"before", ch.before}, {"after", ch.after}});
        const bool save = !o.dry_run && !changes.empty();
        r.doc["devices"].push_back({{"interface", dev->name}, {"changes", list}, {"saved", save}});
        r.text += change_table(dev->name, changes);
        if (o.dry_run)
            r.text += "dry run: nothing written\n";
        if (save && save_mac_sn(s.flash(), dev, &changed) != 0)
            throw ctl_error(ctl_status::problems, std::string("the user record of ") + dev->name +
                                                      " did not read back as written (verified save failed)");
    }
    return r;
}
