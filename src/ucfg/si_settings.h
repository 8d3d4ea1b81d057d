// Serdes signal-integrity (transmit equalisation) values of the user record:
// the text parser, the one-lane and four-lane stores and the per-port batch.
#pragma once

#include <array>
#include <span>

#include "base/result.h"
#include "record/cfg.h"

// Printed after a malformed SI text.
extern const char si_input_usage[];

// Reads "<main> <pre> <post> <boost>" (one lane) or four such sets joined by
// commas into out4. Returns 1 or 4; a malformed or out-of-range text returns
// -EINVAL after its message. With `trace` each set is printed as it is read.
int str_2_si_v2(const char* text, si* out4, bool trace);

// One lane, port p: entry p. A value of SI_INVAL leaves its byte and valid bit
// alone. 0; -1 when the port is outside 0..MAX_PORTS-1 (nothing written).
int do_si_set(int port, ucfg_mac_sn* record, int tx_main, int pre, int post, int boost);

// Four lanes: entries 0-3 for port 0, entries 4-7 for every other port
// number, whatever its range. Returns 0.
int do_si_set_25_40g(int port, ucfg_mac_sn* record, si lane0, si lane1, si lane2, si lane3);

// One port's SI: one lane (do_si_set) or four (do_si_set_25_40g). -EINVAL
// for any other count; otherwise what the store returns.
int set_si(ucfg_mac_sn& record, int port, std::span<const si> lanes);

// The texts of si-p0 .. si-p7 by port, "" when not given.
using si_port_texts = std::array<const char*, MAX_PORTS>;

// Applies the texts in port order up to the first empty one; writes the
// magic when any is given. A text the parser refuses stops the batch with
// invalid_value (the parser has said why).
result cfg_si_batch_set(ucfg_mac_sn* record, const si_port_texts& texts, bool trace);
