#include "card_identity.h"

#include "flash_partitions.h"

std::string serial_of(const ucfg_mac_sn& r) { return r.magic == MAC_SN_MAGIC ? text_field(r.sn) : ""; }

card_identity read_identity(flash_access& flash, const card& c) {
    const ucfg_mac_sn r = record_from_bytes(read_partition(flash, *c.first, PART_MAC_ADDR));
    card_identity id{pci_address(*c.first), c.first->ddevice, card_model(c.ports), r.magic == MAC_SN_MAGIC, "", {}};
    if (!id.record_valid)
        return id;
    id.serial = serial_of(r);
    for (int p = 0; p < c.ports && p < MAX_PORTS; ++p)
        if (const auto mac = mac_text(r.macaddr[p]))
            id.macs.push_back(*mac);
    return id;
}

json identity_json(const card_identity& id) {
    return {{"pci_address", id.pci_address},
            {"device_id", hex(id.device_id, 4)},
            {"model", id.model},
            {"user_record_valid", id.record_valid},
            {"serial", id.serial},
            {"macs", id.macs}};
}
