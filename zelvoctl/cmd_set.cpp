// zelvoctl set: fields of the user record, shown before and after, saved with
// the library's verified save.
#include "card_change.h"
#include "card_identity.h"
#include "card_set.h"
#include "commands.h"
#include "field_setters.h"
#include "flat_fields.h"
#include "identity_guard.h"
#include "ucfg/ucfg_store.h"

namespace {

std::string change_rows(const std::vector<field_change>& changes) {
    if (changes.empty())
        return "nothing changes\n";
    field_rows rows;
    for (const field_change& ch : changes)
        rows.emplace_back(ch.field, ch.before + " -> " + ch.after);
    return format_rows(rows);
}

// Fields that name one card (its addresses, serial and part number, product
// name): the same value on every card is never meant.
bool is_identity(const std::string& assignment) {
    const std::string field = assignment.substr(0, assignment.find('='));
    return field.starts_with("mac.") || field == "sn" || field == "pn" || field == "name";
}

void set_card(session& s, const card& c, const eth_dev& dev, flash_access& flash, const set_options& o, card_result& r) {
    ucfg_mac_sn record;
    if (load_mac_sn(flash, &dev, &record) != 0)
        throw ctl_error(ctl_status::io_failure, std::string("cannot load the user record of ") + dev.name);
    ucfg_mac_sn changed = record;
    for (const std::string& field : o.fields)
        apply_field(changed, field);
    const auto changes = changed_fields(decode_user_record(record), decode_user_record(changed));
    if (!o.force)
        refuse_identity_clash(flash, s.cards(), c, record, changed);
    json list = json::array();
    for (const field_change& ch : changes)
        list.push_back({{"field", ch.field}, {"before", ch.before}, {"after", ch.after}});
    const bool save = !o.dry_run && !changes.empty();
    r.doc = {{"interface", dev.name}, {"changes", list}, {"saved", save}};
    r.text = change_rows(changes);
    if (o.dry_run)
        r.text += "dry run: nothing written\n";
    r.outcome = changes.empty() ? "up_to_date" : o.dry_run ? "would_write" : "written";
    if (!save)
        return;
    card_change change(s, flash, "set", c);
    change.serial_before = serial_of(record);
    change.serial_after = serial_of(changed);
    r.written = true;
    record_change(change, [&] {
        if (save_mac_sn(change, &dev, &changed) != 0)
            throw ctl_error(ctl_status::problems, std::string("the user record of ") + dev.name +
                                                      " did not read back as written (verified save failed)");
    });
}

}  // namespace

command_result run_set(session& s, const set_options& o, const card_selection& sel) {
    if (o.fields.empty())
        throw ctl_error(ctl_status::usage, "set needs at least one FIELD=VALUE");
    if (sel.many()) {
        ucfg_mac_sn scratch{};
        for (const std::string& field : o.fields) {
            if (is_identity(field))
                throw ctl_error(ctl_status::usage, field + ": a MAC address, serial or part number or product name "
                                                           "belongs to one card; set it per DEVICE, not on many cards");
            apply_field(scratch, field);  // a malformed field is refused once, before any card
        }
        command_result r = run_card_set(s, sel, !o.dry_run, write_words(o.dry_run),
                                        [&](const card& c, card_channel& channel, const progress&, card_result& cr) {
                                            set_card(s, c, *c.first, channel.flash(), o, cr);
                                        });
        r.doc["dry_run"] = o.dry_run;
        return r;
    }
    const eth_dev& dev = *s.targets(sel.device(), false).front();
    const card& c = s.card_holding(dev);
    card_channel channel(s, c, !o.dry_run, false);
    card_result one;
    set_card(s, c, dev, channel.flash(), o, one);
    return {{{"dry_run", o.dry_run}, {"devices", json::array({one.doc})}}, "== " + std::string(dev.name) + "\n" + one.text,
            ctl_status::ok};
}
