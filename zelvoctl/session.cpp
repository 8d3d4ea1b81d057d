#include "session.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "devices/device_scan.h"
#include "devices/port_count.h"
#include "devices/sysfs_file.h"
#include "flash/file_eeprom.h"
#include "base/file_io.h"

namespace {

constexpr int ZELVOCTL_READ_CHUNK = 128 * 1024;

// Backups, plans and read-backs read whole partitions: a request per 128 KiB
// rather than per 4 KiB keeps them close to the cost of a write.
std::unique_ptr<maintain_channel> live_channel(int lock_wait_s) {
    return std::make_unique<maintain_channel>(false, ZELVOCTL_READ_CHUNK, lock_wait_s);
}

}  // namespace

card_hold::card_hold(maintain_channel& channel, reaching_flash& reach, const card& c, int limit_s)
    : channel_(channel), reach_(reach), lock_(c.ifaces, limit_s) {
    switch (lock_.result()) {
    case card_lock::outcome::held:
        channel_.hold(&lock_);
        reach_.hold(&lock_);
        return;
    case card_lock::outcome::timed_out:
        throw ctl_error(ctl_status::lock_timeout, "the maintain file of " + lock_.blocked() + " stayed locked for " +
                                                      std::to_string(limit_s) + " s (another program is using the card)");
    case card_lock::outcome::none_open:
        break;
    }
    throw ctl_error(ctl_status::io_failure, "no maintain file of card " + pci_address(*c.first) + " opens");
}

session::session(const global_options& options, const std::string& image_file)
    : options_(options), report_(options.quiet), lock_wait_s_(options.lock_wait_s) {
    if (image_file.empty()) {
        auto live = live_channel(lock_wait_s_);
        live_ = live.get();
        flash_ = std::move(live);
        list_all_zelvo_devices(devices_, false);
        cards_ = group_cards(devices_);
        reach_ = std::make_unique<reaching_flash>(*flash_, cards_);
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
    const eth_dev& dev = resolve_device(devices_, device);
    if (reach_ && device == dev.name)
        reach_->keep_named(&dev);
    return {&dev};
}

const card& session::card_holding(const eth_dev& dev) const { return card_of(cards_, dev); }

std::unique_ptr<card_hold> session::hold(const card& c) {
    if (live_ == nullptr)
        return nullptr;
    return std::make_unique<card_hold>(*live_, *reach_, c, lock_wait_s_);
}

history_file& session::history() {
    const std::lock_guard<std::mutex> opening(history_opening_);
    if (!history_)
        history_ = std::make_unique<history_file>(options_.history);
    return *history_;
}

void session::tell(const std::string& text) const {
    if (!options_.json)
        write_file_full(options_.out_fd, reinterpret_cast<const u8*>(text.data()), static_cast<int>(text.size()));
}

card_channel::card_channel(session& s, const card& c, bool hold, bool own) : flash_(&s.flash()) {
    if (!own || s.live_ == nullptr) {
        if (hold)
            hold_ = s.hold(c);
        return;
    }
    own_ = live_channel(s.lock_wait_s_);
    own_reach_ = std::make_unique<reaching_flash>(*own_, s.cards_);
    flash_ = own_reach_.get();
    if (hold)
        hold_ = std::make_unique<card_hold>(*own_, *own_reach_, c, s.lock_wait_s_);
}

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
