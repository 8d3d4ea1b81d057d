// A JSON tree as a list of (dotted path, value text) rows: the human tables
// print them, and `set` compares two of them to show what changes.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "record_decode.h"

using field_rows = std::vector<std::pair<std::string, std::string>>;

// Objects and arrays open into "key.sub" and "key.N"; null prints "-",
// strings without quotes. `prefix` goes before every path.
field_rows flatten(const json& tree, const std::string& prefix = "");

// The rows whose value differs, as (path, before, after); both trees must
// have the same shape.
struct field_change {
    std::string field, before, after;
};
std::vector<field_change> changed_fields(const json& before, const json& after);

// Two columns, the first padded to its widest entry.
std::string format_rows(const field_rows& rows);
