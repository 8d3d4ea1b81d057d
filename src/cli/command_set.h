// The tool's whole command-line vocabulary: one option table bound to the
// members of a `settings`. Parsing, the usage listing and the table's own
// self-check all come from these rows.
#pragma once

#include <array>

#include "arg_parse.h"
#include "settings.h"

constexpr int OPTION_ROWS = 59;

// 59 rows in their fixed order (the first match wins) and the end-of-table
// record. The rows point into `s`, which must outlive the table.
using option_table = std::array<arg_option, OPTION_ROWS + 1>;
option_table build_opts(settings& s);
