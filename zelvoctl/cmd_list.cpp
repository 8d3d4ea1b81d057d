// zelvoctl list: every card, its interfaces, versions, serial and record state.
#include <cstdio>

#include "card_identity.h"
#include "commands.h"
#include "flash_partitions.h"

namespace {

json interface_json(const eth_dev& d) {
    return {{"name", d.name},
            {"pci_address", d.pci_slot},
            {"port", d.port_id},
            {"mac", d.cur_mac_address ? json(*d.cur_mac_address) : json(nullptr)},
            {"link", d.linkup ? "up" : "down"}};
}

// One card's entry; a card whose flash cannot be read is listed with the
// reason instead of its flash-held values.
json card_json(session& s, const card& c) {
    json entry = {{"pci_address", pci_address(*c.first)},
                  {"device_id", hex(c.first->ddevice, 4)},
                  {"model", card_model(c.ports)},
                  {"ports", c.ports}};
    try {
        const card_identity id = read_identity(s.flash(), c);
        const json versions = decode_versions(read_partition(s.flash(), *c.first, VERSION_INFO));
        entry["firmware"] = versions["firmware"];
        entry["pxe"] = versions["pxe"];
        entry["serial"] = id.serial;
        entry["user_record_valid"] = id.record_valid;
    } catch (const ctl_error& e) {
        entry["error"] = e.what();
        entry["error_code"] = status_code(e.status());
    }
    json ifaces = json::array();
    for (const eth_dev* d : c.ifaces)
        ifaces.push_back(interface_json(*d));
    entry["interfaces"] = ifaces;
    return entry;
}

std::string text_or_dash(const json& v) { return v.is_string() ? v.get<std::string>() : "-"; }

std::string card_lines(const json& c) {
    char line[256];
    std::snprintf(line, sizeof line, "%-13s %-7s %-7s %-9s %-7s %-16s %s\n",
                  c["pci_address"].get<std::string>().c_str(), c["device_id"].get<std::string>().c_str(),
                  c["model"].get<std::string>().c_str(), text_or_dash(c.value("firmware", json())).c_str(),
                  text_or_dash(c.value("pxe", json())).c_str(), text_or_dash(c.value("serial", json())).c_str(),
                  c.contains("error") ? ("unreadable: " + c["error"].get<std::string>()).c_str()
                                      : c["user_record_valid"].get<bool>() ? "valid" : "INVALID");
    std::string out = line;
    for (const json& i : c["interfaces"]) {
        std::snprintf(line, sizeof line, "  %-15s port %-3d %-18s %s\n", i["name"].get<std::string>().c_str(),
                      i["port"].get<int>(), text_or_dash(i["mac"]).c_str(), i["link"].get<std::string>().c_str());
        out += line;
    }
    return out;
}

}  // namespace

command_result run_list(session& s) {
    command_result r;
    r.doc["cards"] = json::array();
    char head[160];
    std::snprintf(head, sizeof head, "%-13s %-7s %-7s %-9s %-7s %-16s %s\n", "PCI ADDRESS", "DEVICE", "MODEL",
                  "FIRMWARE", "PXE", "SERIAL", "USER RECORD");
    r.text = head;
    for (const card& c : s.cards()) {
        r.doc["cards"].push_back(card_json(s, c));
        r.text += card_lines(r.doc["cards"].back());
        r.status = worse_for_unread_card(r.status, r.doc["cards"].back().value("error_code", ""));
    }
    return r;
}
