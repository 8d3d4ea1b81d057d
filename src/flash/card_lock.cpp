#include "card_lock.h"

#include <fcntl.h>

#include "maintain_channel.h"
#include "maintain_lock.h"

card_lock::card_lock(std::span<const eth_dev* const> ifaces, int limit_s) {
    for (const eth_dev* dev : ifaces) {
        unique_fd fd(::open(maintain_path(dev->name).c_str(), O_RDWR | O_CLOEXEC));
        if (!fd)
            continue;
        if (!lock_maintain_file(fd.get(), lock_wait::no, limit_s).ok()) {
            result_ = outcome::timed_out;
            blocked_ = dev->name;
            held_.clear();
            return;
        }
        held_.emplace_back(dev->name, std::move(fd));
    }
    if (held_.empty())
        result_ = outcome::none_open;
}

int card_lock::fd_of(const char* name) const {
    for (const auto& [held_name, fd] : held_)
        if (held_name == name)
            return fd.get();
    return -1;
}
