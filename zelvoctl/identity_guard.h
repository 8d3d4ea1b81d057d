// The guard every writer passes before its first write: no MAC address or
// serial number it would newly leave on a card that another card of this host
// carries, and no two ports of one card with the same MAC address.
#pragma once

#include "card_inventory.h"
#include "flash/flash_access.h"
#include "record_decode.h"

// Refuses (usage error, naming the field, its value and the card carrying
// it) a change of `mine`'s user record from `before` to `after` that clashes.
// Values `before` already held are not checked again.
void refuse_identity_clash(flash_access& flash, const std::vector<card>& cards, const card& mine,
                           const ucfg_mac_sn& before, const ucfg_mac_sn& after);
