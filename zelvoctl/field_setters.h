// The fields `zelvoctl set` takes, each applied through the library's own
// parser and setter for the matching kv7update_tool option.
#pragma once

#include <string>
#include <vector>

#include "record/cfg.h"

// Applies one "FIELD=VALUE" to `record`. Throws a usage error naming the
// field for an unknown name, a port out of range or a malformed value; the
// record may then hold part of the change and must be dropped.
void apply_field(ucfg_mac_sn& record, const std::string& assignment);

// The field name patterns, '#' standing for a port or entry number; for the
// usage text, the man page and completion.
std::vector<std::string> field_patterns();
