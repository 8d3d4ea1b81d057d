#include "same_card.h"

bool same_card(const eth_dev& a, const eth_dev& b) {
    return a.vendor == b.vendor && a.ddevice == b.ddevice && a.domain == b.domain &&
           a.bus == b.bus && a.device == b.device;
}
