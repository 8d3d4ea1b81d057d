#include "session.h"

#include <unistd.h>

#include <cstring>

#include "devices/device_scan.h"
#include "devices/port_count.h"
#include "devices/sysfs_file.h"
#include "flash/file_eeprom.h"
#include "base/file_io.h"

namespace {
constexpr int ZELVOCTL_READ_CHUNK = 128 * 1024;
}

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
    : report_(options.quiet), lock_wait_s_(options.lock_wait_s), json_(options.json),
      history_path_(options.history) {
    if (image_file.empty()) {
        // Backups, plans and read-backs read whole partitions: a request per
        // 128 KiB rather than per 4 KiB keeps them close to the cost of a write.
        auto live = std::make_unique<maintain_channel>(false, ZELVOCTL_READ_CHUNK, lock_wait_s_);
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
    if (!history_)
        history_ = std::make_unique<history_file>(history_path_);
    return *history_;
}

void session::tell(const std::string& text) const {
    if (!json_)
        write_file_full(STDOUT_FILENO, reinterpret_cast<const u8*>(text.data()), static_cast<int>(text.size()));
}
