#include "identity_guard.h"

#include <algorithm>

#include "card_identity.h"
#include "ctl_error.h"

namespace {

[[noreturn]] void refuse(const std::string& field, const std::string& value, const std::string& why) {
    throw ctl_error(ctl_status::usage, field + "=" + value + " " + why + " (--force writes it anyway)");
}

std::optional<std::string> mac_of(const ucfg_mac_sn& r, int port) {
    return r.magic == MAC_SN_MAGIC ? mac_text(r.macaddr[port]) : std::nullopt;
}

}  // namespace

void refuse_identity_clash(flash_access& flash, const std::vector<card>& cards, const card& mine,
                           const ucfg_mac_sn& before, const ucfg_mac_sn& after) {
    if (after.magic != MAC_SN_MAGIC)
        return;
    std::vector<std::pair<std::string, std::string>> fresh;  // field, value
    const int ports = std::min(mine.ports, MAX_PORTS);
    for (int p = 0; p < ports; ++p) {
        const auto mac = mac_of(after, p);
        if (!mac || mac == mac_of(before, p))
            continue;
        for (int q = 0; q < ports; ++q)
            if (q != p && mac_of(after, q) == mac)
                refuse("mac." + std::to_string(p), *mac, "is also port " + std::to_string(q) + "'s address on this card");
        fresh.emplace_back("mac." + std::to_string(p), *mac);
    }
    const std::string sn = text_field(after.sn);
    if (!sn.empty() && (before.magic != MAC_SN_MAGIC || sn != text_field(before.sn)))
        fresh.emplace_back("sn", sn);
    if (fresh.empty())
        return;
    std::vector<card_identity> others;
    for (const card& c : cards)
        if (c.first != mine.first)
            others.push_back(read_identity(flash, c));
    for (const auto& [field, value] : fresh)
        for (const card_identity& o : others) {
            const bool taken = field == "sn" ? o.serial == value
                                             : std::find(o.macs.begin(), o.macs.end(), value) != o.macs.end();
            if (taken)
                refuse(field, value, "is already carried by card " + o.pci_address);
        }
}
