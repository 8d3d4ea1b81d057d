// The maintain lock of every interface of one card, held for a whole
// operation: from a writer's first read to its last read-back, no other
// process honouring the lock reaches the card through any of its interfaces.
//
// The lock is a record lock, owned by the process: closing any descriptor of
// a maintain file, or an unlock request on it, drops it. So the lock keeps
// one open descriptor per interface for as long as it lives, and the channel
// runs its exchanges on those descriptors without locking, unlocking or
// closing them (maintain_channel::hold).
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "devices/eth_dev.h"
#include "base/unique_fd.h"

class card_lock {
public:
    enum class outcome {
        held,       // every interface that opens is locked
        none_open,  // no interface's maintain file opens
        timed_out,  // an interface stayed locked by another process
    };

    // Opens and locks the maintain file of each of `ifaces` in turn, trying
    // for each lock for up to `limit_s` seconds. An interface whose file does
    // not open is left out (it cannot be reached by anyone through this
    // process either). On a time-out nothing stays locked.
    card_lock(std::span<const eth_dev* const> ifaces, int limit_s);

    outcome result() const { return result_; }
    // The interface that stayed locked (timed_out).
    const std::string& blocked() const { return blocked_; }

    // The held, locked descriptor of interface `name`; -1 when not held.
    int fd_of(const char* name) const;

private:
    outcome result_ = outcome::held;
    std::string blocked_;
    std::vector<std::pair<std::string, unique_fd>> held_;
};
