// Reaches a card through any of its interfaces: a card taken as a whole (by
// its address, with --all, in list and check) whose first interface's
// maintain file does not open is read and written through the next
// interface of the card whose file does. An interface the operator named is
// used as named.
#pragma once

#include <map>
#include <vector>

#include "card_inventory.h"
#include "flash/card_lock.h"
#include "flash_layer.h"

class reaching_flash final : public flash_layer {
public:
    reaching_flash(flash_access& inner, const std::vector<card>& cards) : flash_layer(inner), cards_(cards) {}

    int read_flash_partion(const eth_dev* dev, int partion, const char* out_bin_fname, std::span<u8> out_buf) override {
        return reach(dev, [&](const eth_dev* d) { return inner_.read_flash_partion(d, partion, out_bin_fname, out_buf); });
    }
    int write_flash_partion(const eth_dev* dev, int partion, std::span<const u8> data) override {
        return reach(dev, [&](const eth_dev* d) { return inner_.write_flash_partion(d, partion, data); });
    }
    // The lock a writing command holds (nullptr: none): its open descriptors
    // tell which interfaces reach the card, without opening anything (closing
    // a descriptor of a locked file would drop the lock).
    void hold(const card_lock* lock) { held_ = lock; }
    // The interface the operator named, used as it is.
    void keep_named(const eth_dev* dev) { named_ = dev; }

private:
    // Runs `request` through the interface that reaches `dev`'s card.
    template <typename Request>
    int reach(const eth_dev* dev, Request&& request) {
        const int rc = below([&] { return request(via(dev)); });
        if (rc >= 0 || run_ended() || held_ != nullptr || route_.contains(dev))
            return rc;
        const eth_dev* other = another_that_opens(dev);
        return other == dev ? rc : below([&] { return request(other); });
    }
    const eth_dev* via(const eth_dev* dev) const;
    // After a failed request without a lock held: `dev` itself when its
    // file opens (the failure was another), else the card's next interface
    // whose file does, remembered for later requests.
    const eth_dev* another_that_opens(const eth_dev* dev);
    const card* whole_card_of(const eth_dev* dev) const;

    const std::vector<card>& cards_;
    const card_lock* held_ = nullptr;
    const eth_dev* named_ = nullptr;
    std::map<const eth_dev*, const eth_dev*> route_;  // found after a failed request
};
