// zelvoctl history: the changes zelvoctl made to cards, from the history
// file, oldest first; all of them or those of one card.
#include <cstdio>

#include "commands.h"
#include "history.h"

namespace {

std::string text_of(const json& entry, const char* key) {
    const auto it = entry.find(key);
    return it != entry.end() && it->is_string() ? it->get<std::string>() : "-";
}

std::string row(const std::string& time, const std::string& command, const std::string& addr,
                const std::string& serials, const std::string& result, const std::string& backup) {
    char line[512];
    std::snprintf(line, sizeof line, "%-21s %-10s %-13s %-31s %-20s %s\n", time.c_str(), command.c_str(), addr.c_str(),
                  serials.c_str(), result.c_str(), backup.c_str());
    return line;
}

}  // namespace

command_result run_history(const history_options& o) {
    const history_lines lines = read_history(o.file);
    command_result r;
    r.doc["history"] = o.file;
    r.doc["damaged_lines"] = lines.damaged;
    r.doc["entries"] = json::array();
    r.text = row("TIME", "COMMAND", "PCI ADDRESS", "SERIAL BEFORE -> AFTER", "RESULT", "BACKUP");
    for (const json& e : lines.entries) {
        if (!o.device.empty() && !history_names(e, o.device))
            continue;
        r.doc["entries"].push_back(e);
        r.text += row(text_of(e, "time"), text_of(e, "command"), text_of(e, "pci_address"),
                      text_of(e, "serial_before") + " -> " + text_of(e, "serial_after"), text_of(e, "result"),
                      text_of(e, "backup"));
    }
    if (r.doc["entries"].empty())
        r.text = "no change recorded in " + o.file + (o.device.empty() ? "" : " for " + o.device) + "\n";
    if (lines.damaged > 0)
        r.text += std::to_string(lines.damaged) + " damaged lines in " + o.file + " left out\n";
    return r;
}
