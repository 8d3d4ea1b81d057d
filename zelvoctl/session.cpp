#include "session.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "devices/device_scan.h"
#include "devices/port_count.h"
#include "devices/sysfs_file.h"
#include "flash/file_eeprom.h"

namespace {
constexpr int ZELVOCTL_READ_CHUNK = 128 * 1024;
}

session::session(const global_options& options, const std::string& image_file) : options_(options), report_(options.quiet) {
    if (image_file.empty()) {
        // Backups, plans and read-backs read whole partitions: a request per
        // 128 KiB rather than per 4 KiB keeps them close to the cost of a write.
        flash_ = std::make_unique<maintain_channel>(false, ZELVOCTL_READ_CHUNK);
        list_all_zelvo_devices(devices_, false);
        cards_ = group_cards(devices_);
        return;
    }
    auto bytes = read_file(image_file);
    if (!bytes)
        throw ctl_error(ctl_status::io_failure, "cannot read image file " + image_file);
    eth_dev& dev = devices_.emplace_back();
    std::strcpy(dev.name, "image");
    // An image file is laid out in the default layout: it stands for a card
    // of that family (4 ports, KV9 chip group).
    dev.vendor = ZELVO_VENDOR_ID;
    dev.ddevice = KV9_4_PORT_DEV;
    dev.pci_slot = image_file;
    flash_ = std::make_unique<file_eeprom>(&dev, std::move(*bytes));
    cards_ = {card{&dev, {&dev}, net_card_max_port_cnt(&dev)}};
    image_card_ = cards_.front();
}

std::vector<const eth_dev*> session::targets(const std::string& device, bool all) {
    if (from_image() || all) {
        std::vector<const eth_dev*> firsts;
        for (const card& c : cards_)
            firsts.push_back(c.first);
        if (firsts.empty())
            throw ctl_error(ctl_status::not_found, "no Zelvo card found");
        return firsts;
    }
    if (device.empty())
        throw ctl_error(ctl_status::usage, "name a DEVICE (interface or PCI address) or give --all");
    return {&resolve_device(devices_, device)};
}

const card& session::card_holding(const eth_dev& dev) const { return card_of(cards_, dev); }

std::vector<const card*> session::card_set(const std::vector<std::string>& devices, bool all) {
    if (!all && devices.empty())
        throw ctl_error(ctl_status::usage, "name a DEVICE (interface or PCI address) or give --all");
    std::vector<const card*> set;
    if (all) {
        for (const eth_dev* dev : targets("", true))
            set.push_back(&card_holding(*dev));
    }
    for (const std::string& name : devices) {
        const card* c = &card_holding(resolve_device(devices_, name));
        if (std::find(set.begin(), set.end(), c) == set.end())
            set.push_back(c);
    }
    std::sort(set.begin(), set.end(), [](const card* a, const card* b) {
        const eth_dev &x = *a->first, &y = *b->first;
        return std::tie(x.domain, x.bus, x.device, x.fun) < std::tie(y.domain, y.bus, y.device, y.fun);
    });
    return set;
}
