// zelvoctl provision: each card gets the next serial and MAC block of a pool,
// recorded in the ledger before the card is written and committed after it
// read back.
#include <unistd.h>

#include "card_backup.h"
#include "card_jobs.h"
#include "commands.h"
#include "provision.h"

namespace {

std::string host_name() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

json result_json(const provision_result& r) {
    return {{"interface", r.interface},   {"pci_address", r.pci_address},
            {"device_id", r.device_id},   {"model", r.model},
            {"outcome", r.outcome},       {"status", static_cast<int>(r.status)},
            {"serial", r.serial.empty() ? json(nullptr) : json(r.serial)},
            {"macs", r.macs},             {"backup", r.backup_dir.empty() ? json(nullptr) : json(r.backup_dir)},
            {"message", r.message.empty() ? json(nullptr) : json(r.message)}};
}

std::string result_text(const provision_result& r) {
    std::string out = "== " + r.pci_address + " " + r.interface + " (" + r.model + ")\n";
    if (r.status != ctl_status::ok)
        return out + r.outcome + ": " + r.message + "\n";
    const std::string verb = r.outcome == "provisioned"       ? "provisioned"
                             : r.outcome == "committed"       ? "already carried its reservation, committed"
                             : r.outcome == "up_to_date"      ? "up to date"
                                                              : "would get";
    out += verb + ": serial " + r.serial + "\n";
    for (std::size_t p = 0; p < r.macs.size(); ++p)
        out += "  mac." + std::to_string(p) + " " + r.macs[p] + "\n";
    if (!r.backup_dir.empty())
        out += "  backup " + r.backup_dir + "\n";
    return out;
}

}  // namespace

command_result run_provision(session& s, const provision_options& o) {
    if (s.from_image())
        throw ctl_error(ctl_status::usage, "provision writes cards, not an image file");
    const pool_spec pool = load_pool(o.pool_file);
    const std::unique_ptr<ledger> book = open_ledger(o.ledger);
    book->register_pool(pool, o.dry_run);
    std::vector<const card*> cards;
    for (const eth_dev* dev : s.targets(o.target.device, o.target.all))
        cards.push_back(&s.card_holding(*dev));

    const provision_context ctx{pool, *book, o.station.empty() ? host_name() : o.station,
                                o.backup_dir.empty() ? DEFAULT_BACKUP_ROOT : o.backup_dir, o.dry_run, o.force,
                                s.report()};
    const auto results = for_each_card<provision_result>(
        cards, [&](const card& c) { return provision_card(s, c, ctx); });

    command_result r;
    r.doc["pool"] = pool.name;
    r.doc["dry_run"] = o.dry_run;
    r.doc["cards"] = json::array();
    int failed = 0;
    for (const provision_result& one : results) {
        r.doc["cards"].push_back(result_json(one));
        r.text += result_text(one);
        if (one.status != ctl_status::ok && failed++ == 0)
            r.status = one.status;  // the first card's failure speaks for the run
    }
    r.text += std::to_string(results.size() - static_cast<std::size_t>(failed)) + " of " +
              std::to_string(results.size()) + " cards provisioned or up to date\n";
    return r;
}
