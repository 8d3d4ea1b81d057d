// Per-port feature fields of the user record: LED control, LLDP status and
// interval, Wake-on-LAN mode and enable, pack-id pins, forced link state.
// Each option text holds four numbers separated by single spaces.
#pragma once

#include "base/result.h"
#include "base/types.h"
#include "record/cfg.h"

// Printed after a text with fewer than four values.
extern const char led_input_usage[];
extern const char lldp_status_usage[];
extern const char lldp_txIntval_usage[];
extern const char wol_mode_usage[];
extern const char wol_en_usage[];
extern const char pack_id_usage[];
extern const char force_state_usage[];

// Parsers: each value is stored as soon as it is read; a missing value
// returns -EINVAL after the member's message and usage text (the values
// before it are stored). Values 4 and up are ignored; no range is checked.
// Otherwise 0.
int str_2_led_conf(const char* text, led_bitmap_t* led);  // base 16: the four 32-bit words
int str_2_lldp_status_conf(const char* text, ucfg_mac_sn* record);    // lldp_admStatus[0..3]
int str_2_lldp_txIntval_conf(const char* text, ucfg_mac_sn* record);  // lldp_txIntval[0..3]
int str_2_wol_mode_conf(const char* text, ucfg_mac_sn* record);       // wol_info[0..3].wol_mode
int str_2_wol_en_conf(const char* text, ucfg_mac_sn* record);         // wol_info[0..3].wol_en
int str_2_pack_id_conf(const char* text, ucfg_mac_sn* record);  // id0 group, pin, id1 group, pin
int str_2_force_state_conf(const char* text, ucfg_mac_sn* record);  // force_status[0..3]

// The per-port fields of the record, one value of one port (0-3).
enum class port_feature { lldp_status, lldp_interval, wol_mode, wol_enable, force_state };
// Byte fields keep the low 8 bits (-1: 0xff, not set), 32-bit fields all.
// Neither the magic nor the change marker is touched.
void set_port_feature(ucfg_mac_sn& record, port_feature feature, int port, u32 value);

// One half of pack-id `id` (0 or 1), its low 8 bits.
enum class pack_id_part { group, pin };
void set_pack_id(ucfg_mac_sn& record, int id, pack_id_part part, u32 value);

// Change markers: set ucfg_mac_sn_dirty and return 0; the record is not used.
int do_led_set(ucfg_mac_sn* record);
int do_lldp_set(ucfg_mac_sn* record);
int do_wol_set(ucfg_mac_sn* record);
int do_pack_id_set(ucfg_mac_sn* record);
int do_force_state_set(ucfg_mac_sn* record);

// Batches over the option texts ("" when not given): nothing when none is
// given; otherwise the magic, the given texts in order, and the change mark.
// A text a parser refuses stops the batch with invalid_value (the parser has
// said why).
result cfg_led_batch_set(ucfg_mac_sn* record, const char* led);
result cfg_lldp_batch_set(ucfg_mac_sn* record, const char* status, const char* interval);
result cfg_wol_batch_set(ucfg_mac_sn* record, const char* mode, const char* enable);
result cfg_pack_id_batch_set(ucfg_mac_sn* record, const char* pack_id);
result cfg_force_state_batch_set(ucfg_mac_sn* record, const char* force_state);
