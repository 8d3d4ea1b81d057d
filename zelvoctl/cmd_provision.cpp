// zelvoctl provision: each card gets the next serial and MAC block of a pool,
// recorded in the ledger before the card is written and committed after it
// read back; the cards of a run are written at once, each through its own
// channel, sharing the ledger.
#include <unistd.h>

#include "card_backup.h"
#include "commands.h"
#include "provision.h"

namespace {

std::string host_name() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

std::vector<outcome_word> provision_words(bool dry_run) {
    return {dry_run ? outcome_word{"would_provision", "to provision"} : outcome_word{"provisioned", "provisioned"},
            {"committed", "committed (already carrying their reservation)"},
            {"up_to_date", "already up to date"},
            {"refused", "refused"}};
}

json or_null(const json& doc, const char* key) { return doc.contains(key) ? doc[key] : json(nullptr); }

}  // namespace

command_result run_provision(session& s, const provision_options& o, const card_selection& sel) {
    if (s.from_image())
        throw ctl_error(ctl_status::usage, "provision writes cards, not an image file");
    check_selection(sel);
    const pool_spec pool = load_pool(o.pool_file);
    const std::unique_ptr<ledger> book = open_ledger(o.ledger);
    book->register_pool(pool, o.dry_run);
    const std::vector<const card*> cards = s.card_set(sel.devices, sel.all);
    identity_turns turns(cards);
    const provision_context ctx{pool, *book, o.station.empty() ? host_name() : o.station,
                                o.backup_dir.empty() ? DEFAULT_BACKUP_ROOT : o.backup_dir, o.dry_run, o.force, turns};
    command_result r = run_card_set(
        s, sel, !o.dry_run, provision_words(o.dry_run),
        [&](const card& c, card_channel& channel, const progress& report, card_result& cr) {
            provision_card(s, c, channel.flash(), ctx, report, cr);
        },
        [&](const card& c) { turns.pass(c, false); });
    // Every card's object carries the same keys, however far it got.
    json& listed = r.doc["cards"];
    for (std::size_t i = 0; i < listed.size(); ++i) {
        json& c = listed[i];
        c["device_id"] = hex(cards[i]->first->ddevice, 4);
        c["model"] = card_model(cards[i]->ports);
        c["serial"] = or_null(c, "serial");
        c["macs"] = c.contains("macs") ? c["macs"] : json::array();
        c["backup"] = or_null(c, "backup");
        c["message"] = c.contains("error") ? c["error"]["message"] : json(nullptr);
    }
    r.doc["pool"] = pool.name;
    r.doc["dry_run"] = o.dry_run;
    return r;
}
