// zelvoctl ledger: the identities given out, as a table, JSON or CSV, and
// `ledger void SERIAL` for a reservation whose card is gone.
#include <cstdio>

#include "commands.h"
#include "ledger.h"

namespace {

std::vector<std::string> row_macs(const ledger_row& r) { return mac_run(r.mac_first, r.ports); }

json row_json(const ledger_row& r) {
    const auto time = [](const std::string& t) { return t.empty() ? json(nullptr) : json(t); };
    return {{"pool", r.pool},
            {"serial", r.serial},
            {"state", r.state},
            {"mac_first", mac_string(r.mac_first)},
            {"per_card", r.per_card},
            {"macs", row_macs(r)},
            {"pci_address", r.pci_address},
            {"device_id", r.device_id},
            {"host", r.host},
            {"backup", r.backup_dir},
            {"reserved_at", r.reserved_at},
            {"committed_at", time(r.committed_at)},
            {"voided_at", time(r.voided_at)}};
}

// A CSV field, quoted when it holds a separator, quote or line end.
std::string csv_field(const std::string& v) {
    if (v.find_first_of(",\"\r\n") == std::string::npos)
        return v;
    std::string quoted = "\"";
    for (const char ch : v)
        quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return quoted + "\"";
}

std::string join(const std::vector<std::string>& parts, const char* sep) {
    std::string out;
    for (const std::string& p : parts)
        out += (out.empty() ? "" : sep) + p;
    return out;
}

std::string table_line(const ledger_row& r) {
    char line[512];
    std::snprintf(line, sizeof line, "%-10s %-16s %-9s %-17s %2d/%-3d %-13s %-6s %-12s %s\n", r.pool.c_str(),
                  r.serial.c_str(), r.state.c_str(), mac_string(r.mac_first).c_str(), r.ports, r.per_card,
                  r.pci_address.c_str(), r.device_id.c_str(), r.host.c_str(),
                  (!r.voided_at.empty() ? r.voided_at : !r.committed_at.empty() ? r.committed_at : r.reserved_at).c_str());
    return line;
}

}  // namespace

command_result run_ledger(const ledger_options& o) {
    const std::unique_ptr<ledger> book = open_ledger(o.ledger);
    command_result r;
    if (!o.void_serial.empty()) {
        const ledger_row row = book->void_serial(o.void_serial, o.pool);
        r.doc["voided"] = row_json(row);
        r.text = "serial " + row.serial + " of pool " + row.pool + " is void: its MAC block from " +
                 mac_string(row.mac_first) + " is never given again\n";
        return r;
    }
    const std::vector<ledger_row> rows = book->rows(o.pool);
    r.doc["rows"] = json::array();
    for (const ledger_row& row : rows)
        r.doc["rows"].push_back(row_json(row));
    if (o.csv) {
        // The shipped cards, for label printers and manifests.
        r.text = "serial,macs,device_id,pool,committed_at\n";
        for (const ledger_row& row : rows)
            if (row.state == "committed")
                r.text += csv_field(row.serial) + "," + join(row_macs(row), " ") + "," + row.device_id + "," +
                          csv_field(row.pool) + "," + row.committed_at + "\n";
        return r;
    }
    char head[256];
    std::snprintf(head, sizeof head, "%-10s %-16s %-9s %-17s %-6s %-13s %-6s %-12s %s\n", "POOL", "SERIAL", "STATE",
                  "FIRST MAC", "MACS", "CARD", "DEVICE", "STATION", "TIME (UTC)");
    r.text = head;
    for (const ledger_row& row : rows)
        r.text += table_line(row);
    return r;
}
