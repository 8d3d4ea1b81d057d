// Identity texts of the user record (serial number, part number, product
// name) and the per-port lane flags.
#pragma once

#include "record/cfg.h"

// Stores the text, cut to 32 characters with a warning, zero-padded into `sn`
// (which != 0) or `pn`. 0; -5 without a record; -22 without a text; -1 when
// the field does not read back. The magic is left alone.
int sn_pn_set(ucfg_mac_sn* record, const char* text, int which);

// The same for `pName`.
int pName_set(ucfg_mac_sn* record, const char* text);

// Sets the auto-negotiation, link-training and FEC flags of the port; a
// negative argument leaves that flag alone, any other marks it valid and
// stores nonzero as 1. Writes the magic. 0; -1 when the port is outside
// 0..MAX_PORTS-1 (nothing written).
int lane_misc_set(ucfg_mac_sn* record, int port, int an, int link_traing, int fec);
