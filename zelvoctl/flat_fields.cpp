#include "flat_fields.h"

#include <algorithm>

namespace {

void walk(const json& node, const std::string& path, field_rows& out) {
    const std::string lead = path.empty() ? "" : path + ".";
    if (node.is_object()) {
        for (const auto& [key, value] : node.items())
            walk(value, lead + key, out);
    } else if (node.is_array()) {
        for (std::size_t i = 0; i < node.size(); ++i)
            walk(node[i], lead + std::to_string(i), out);
    } else if (node.is_null()) {
        out.emplace_back(path, "-");
    } else if (node.is_string()) {
        out.emplace_back(path, node.get<std::string>());
    } else {
        out.emplace_back(path, node.dump());
    }
}

}  // namespace

field_rows flatten(const json& tree, const std::string& prefix) {
    field_rows rows;
    walk(tree, prefix, rows);
    return rows;
}

std::vector<field_change> changed_fields(const json& before, const json& after) {
    const field_rows a = flatten(before), b = flatten(after);
    std::vector<field_change> changes;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i].second != b[i].second)
            changes.push_back({b[i].first, a[i].second, b[i].second});
    return changes;
}

std::string format_rows(const field_rows& rows) {
    std::size_t width = 0;
    for (const auto& row : rows)
        width = std::max(width, row.first.size());
    std::string out;
    for (const auto& [path, value] : rows)
        out += path + std::string(width + 2 - path.size(), ' ') + value + "\n";
    return out;
}
