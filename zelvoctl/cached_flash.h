// A card's partitions read once per run: a burn plans, backs up and keeps the
// card's record from the same reads instead of asking the driver again. Any
// write drops everything cached for that device (a firmware write may run on
// over later partitions), so a read-back always reaches the driver.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "flash/flash_access.h"

class cached_flash final : public flash_access {
public:
    explicit cached_flash(flash_access& inner) : inner_(inner) {}

    int read_flash_partion(const eth_dev* dev, int partion, const char* out_bin_fname,
                           std::span<u8> out_buf) override;
    int write_flash_partion(const eth_dev* dev, int partion, std::span<const u8> data) override;
    bool keeps_writes() const override { return inner_.keeps_writes(); }
    // Whether a write request was passed on (the card may have changed).
    bool wrote() const { return wrote_; }

private:
    flash_access& inner_;
    std::map<std::pair<const eth_dev*, int>, std::vector<u8>> cache_;
    bool wrote_ = false;
};
