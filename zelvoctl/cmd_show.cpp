// zelvoctl show: the decoded user record, versions and factory record.
#include "commands.h"
#include "flash_partitions.h"
#include "flat_fields.h"

command_result run_show(session& s, const target_options& t) {
    command_result r;
    r.doc["devices"] = json::array();
    for (const eth_dev* dev : s.targets(t.device, t.all)) {
        const std::vector<u8> user = read_partition(s.flash(), *dev, PART_MAC_ADDR);
        json one = {{"interface", dev->name},
                    {"pci_address", s.from_image() ? json(nullptr) : json(pci_address(*dev))},
                    // An image file holds no version record: the driver makes it.
                    {"versions", decode_versions(s.from_image() ? std::vector<u8>{}
                                                                : read_partition(s.flash(), *dev, VERSION_INFO))},
                    {"user_record", decode_user_record(record_from_bytes(user))},
                    {"factory", decode_factory(read_partition(s.flash(), *dev, PART_CFG))}};
        r.text += "== " + std::string(dev->name) + "\n" + format_rows(flatten(one));
        r.doc["devices"].push_back(std::move(one));
    }
    return r;
}
