// Per-port feature fields of the user record: LED control, LLDP status and
// interval, Wake-on-LAN mode and enable, pack-id pins, forced link state.
// Each option text holds four numbers separated by single spaces.
#pragma once

#include "record/cfg.h"
#include "cli/settings.h"

// Printed after a text with fewer than four values.
extern const char led_input_usage[];
extern const char lldp_status_usage[];
extern const char lldp_txIntval_usage[];
extern const char wol_mode_usage[];
extern const char wol_en_usage[];
extern const char pack_id_usage[];
extern const char force_state_usage[];

// Parsers: each value is stored as soon as it is read; a missing value ends
// the process after the member's message and usage text. Values 4 and up are
// ignored; no range is checked. Return 0.
int str_2_led_conf(const char* text, led_bitmap_t* led);  // base 16: the four 32-bit words
int str_2_lldp_status_conf(const char* text, ucfg_mac_sn* record);    // lldp_admStatus[0..3]
int str_2_lldp_txIntval_conf(const char* text, ucfg_mac_sn* record);  // lldp_txIntval[0..3]
int str_2_wol_mode_conf(const char* text, ucfg_mac_sn* record);       // wol_info[0..3].wol_mode
int str_2_wol_en_conf(const char* text, ucfg_mac_sn* record);         // wol_info[0..3].wol_en
int str_2_pack_id_conf(const char* text, ucfg_mac_sn* record);  // id0 group, pin, id1 group, pin
int str_2_force_state_conf(const char* text, ucfg_mac_sn* record);  // force_status[0..3]

// Change markers: set ucfg_mac_sn_dirty and return 0; the record is not used.
int do_led_set(ucfg_mac_sn* record);
int do_lldp_set(ucfg_mac_sn* record);
int do_wol_set(ucfg_mac_sn* record);
int do_pack_id_set(ucfg_mac_sn* record);
int do_force_state_set(ucfg_mac_sn* record);

// Batches: nothing when none of the feature's texts is given; otherwise the
// magic, the given texts in order, and the change mark. 0, or -1 when a
// parser returns nonzero.
int cfg_led_batch_set(ucfg_mac_sn* record, const settings& s);
int cfg_lldp_batch_set(ucfg_mac_sn* record, const settings& s);
int cfg_wol_batch_set(ucfg_mac_sn* record, const settings& s);
int cfg_pack_id_batch_set(ucfg_mac_sn* record, const settings& s);
int cfg_force_state_batch_set(ucfg_mac_sn* record, const settings& s);
