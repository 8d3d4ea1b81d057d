// Serdes signal-integrity (transmit equalisation) values of the user record:
// the text parser, the one-lane and four-lane stores and the per-port batch.
#pragma once

#include "record/cfg.h"
#include "cli/settings.h"

// Printed after a malformed SI text.
extern const char si_input_usage[];

// Reads "<main> <pre> <post> <boost>" (one lane) or four such sets joined by
// commas into out4. Returns 1 or 4; a malformed or out-of-range text ends the
// process. With `trace` each set is printed as it is read.
int str_2_si_v2(const char* text, si* out4, bool trace);

// One lane, port p: entry p. A value of SI_INVAL leaves its byte and valid bit
// alone. 0; -1 when the port is outside 0..MAX_PORTS-1 (nothing written).
int do_si_set(int port, ucfg_mac_sn* record, int tx_main, int pre, int post, int boost);

// Four lanes: entries 0-3 for port 0, entries 4-7 for every other port
// number, whatever its range. Returns 0.
int do_si_set_25_40g(int port, ucfg_mac_sn* record, si lane0, si lane1, si lane2, si lane3);

// Applies si-p0 .. si-p7 in port order up to the first empty one; writes the
// magic when any is given. Returns 0.
int cfg_si_batch_set(ucfg_mac_sn* record, const settings& s);
