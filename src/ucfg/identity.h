// Identity texts of the user record (serial number, part number, product
// name) and the per-port lane flags.
#pragma once

#include "record/cfg.h"

// Stores the text, cut to 32 characters with a warning, zero-padded into `sn`
// (which != 0) or `pn`. 0; -EIO without a record; -EINVAL without a text;
// -1 when the field does not read back. The magic is left alone.
int sn_pn_set(ucfg_mac_sn* record, const char* text, int which);

// The text fields of the record.
enum class record_text { serial, part_number, product_name };
// sn_pn_set and pName_set, by field.
int set_text(ucfg_mac_sn& record, record_text field, const char* text);

// The same for `pName`.
int pName_set(ucfg_mac_sn* record, const char* text);

// Sets the auto-negotiation, link-training and FEC flags of the port; a
// negative argument leaves that flag alone, any other marks it valid and
// stores nonzero as 1. Writes the magic. 0; -1 when the port is outside
// 0..MAX_PORTS-1 (nothing written).
int lane_misc_set(ucfg_mac_sn* record, int port, int an, int link_traing, int fec);

// One of the lane flags of `port`, on or off, as lane_misc_set stores it.
enum class lane_flag { autoneg, link_training, fec };
int set_lane_flag(ucfg_mac_sn& record, int port, lane_flag flag, bool on);
