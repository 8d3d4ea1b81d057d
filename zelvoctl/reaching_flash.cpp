#include "reaching_flash.h"

#include <fcntl.h>

#include "flash/maintain_channel.h"
#include "base/unique_fd.h"

namespace {

bool opens(const eth_dev& dev) {
    return static_cast<bool>(unique_fd(::open(maintain_path(dev.name).c_str(), O_RDWR | O_CLOEXEC)));
}

}  // namespace

const card* reaching_flash::whole_card_of(const eth_dev* dev) const {
    if (dev == nullptr || dev == named_)
        return nullptr;
    for (const card& c : cards_)
        if (c.first == dev)
            return &c;
    return nullptr;
}

const eth_dev* reaching_flash::via(const eth_dev* dev) const {
    const card* whole = whole_card_of(dev);
    if (whole == nullptr)
        return dev;
    if (held_ != nullptr) {
        if (held_->fd_of(dev->name) >= 0)
            return dev;
        for (const eth_dev* other : whole->ifaces)
            if (held_->fd_of(other->name) >= 0)
                return other;
        return dev;
    }
    const auto known = route_.find(dev);
    return known == route_.end() ? dev : known->second;
}

const eth_dev* reaching_flash::another_that_opens(const eth_dev* dev) {
    const card* whole = whole_card_of(dev);
    // No lock of this process is on the card now: opening and closing its
    // files drops nothing.
    if (whole == nullptr || opens(*dev))
        return dev;
    for (const eth_dev* other : whole->ifaces)
        if (other != dev && opens(*other))
            return route_[dev] = other;
    return route_[dev] = dev;
}
