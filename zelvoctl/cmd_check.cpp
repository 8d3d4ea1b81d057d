// zelvoctl check: duplicate MACs and serial numbers across the host's cards,
// and invalid user records.
#include <map>

#include "card_identity.h"
#include "commands.h"

namespace {

void add_duplicates(const char* kind, const std::map<std::string, std::vector<std::string>>& holders,
                    command_result& r) {
    for (const auto& [value, cards] : holders) {
        if (cards.size() < 2)
            continue;
        r.doc["problems"].push_back({{"kind", kind}, {"value", value}, {"cards", cards}});
        std::string who;
        for (const std::string& c : cards)
            who += " " + c;
        r.text += std::string(kind) + " " + value + " on" + who + "\n";
    }
}

}  // namespace

command_result run_check(session& s) {
    command_result r;
    r.doc["problems"] = json::array();
    std::map<std::string, std::vector<std::string>> macs, serials;
    ctl_status unread = ctl_status::ok;
    for (const card& c : s.cards()) {
        card_identity id;
        try {
            id = read_identity(s.flash(), c);
        } catch (const ctl_error& e) {
            // The other cards are still checked; this one is reported.
            const std::string addr = pci_address(*c.first);
            r.doc["problems"].push_back({{"kind", "unreadable"}, {"value", e.what()}, {"cards", {addr}},
                                         {"code", status_code(e.status())}});
            r.text += "unreadable " + addr + ": " + e.what() + "\n";
            unread = worse_for_unread_card(unread, status_code(e.status()));
            continue;
        }
        if (!id.record_valid) {
            r.doc["problems"].push_back({{"kind", "invalid_user_record"}, {"value", nullptr}, {"cards", {id.pci_address}}});
            r.text += "invalid_user_record on " + id.pci_address + "\n";
            continue;
        }
        for (const std::string& mac : id.macs)
            macs[mac].push_back(id.pci_address);
        if (!id.serial.empty())
            serials[id.serial].push_back(id.pci_address);
    }
    add_duplicates("duplicate_mac", macs, r);
    add_duplicates("duplicate_serial", serials, r);
    r.doc["cards_checked"] = s.cards().size();
    if (!r.doc["problems"].empty())
        r.status = ctl_status::problems;
    if (unread != ctl_status::ok)
        r.status = unread;
    r.text += std::to_string(s.cards().size()) + " cards checked, " + std::to_string(r.doc["problems"].size()) +
              " problems\n";
    return r;
}
