// Which interfaces belong to one controller card.
#pragma once

#include "eth_dev.h"

// True when both interfaces sit on one card: same PCI ids, domain, bus and
// device number (the function may differ, as on a card of several functions).
bool same_card(const eth_dev& a, const eth_dev& b);
