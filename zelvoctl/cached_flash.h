// A card's partitions read once per run: a burn plans, backs up and keeps the
// card's record from the same reads instead of asking the driver again. Any
// write drops everything cached for that device (a firmware write may run on
// over later partitions), so a read-back always reaches the driver.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "flash_layer.h"

class cached_flash final : public flash_layer {
public:
    explicit cached_flash(flash_access& inner) : flash_layer(inner) {}

    int read_flash_partion(const eth_dev* dev, int partion, const char* out_bin_fname,
                           std::span<u8> out_buf) override;
    int write_flash_partion(const eth_dev* dev, int partion, std::span<const u8> data) override;
    // Whether a write request was passed on (the card may have changed).
    bool wrote() const { return wrote_; }

private:
    std::map<std::pair<const eth_dev*, int>, std::vector<u8>> cache_;
    bool wrote_ = false;
};
