#include "cached_flash.h"

#include <algorithm>

#include "maintain/maintain.h"

int cached_flash::read_flash_partion(const eth_dev* dev, int partion, const char* out_bin_fname,
                                     std::span<u8> out_buf) {
    const auto key = std::make_pair(dev, partion);
    auto it = cache_.find(key);
    if (it == cache_.end() || out_bin_fname != nullptr) {
        if (!partion_in_range(partion))
            return below([&] { return inner_.read_flash_partion(dev, partion, out_bin_fname, out_buf); });
        std::vector<u8> data(static_cast<std::size_t>(partion_max_sz(partion)));
        const int n = below([&] { return inner_.read_flash_partion(dev, partion, out_bin_fname, data); });
        if (n < 0)
            return n;
        data.resize(static_cast<std::size_t>(n));
        it = cache_.insert_or_assign(key, std::move(data)).first;
    }
    const std::vector<u8>& data = it->second;
    std::copy_n(data.begin(), std::min(data.size(), out_buf.size()), out_buf.begin());
    return static_cast<int>(data.size());
}

int cached_flash::write_flash_partion(const eth_dev* dev, int partion, std::span<const u8> data) {
    std::erase_if(cache_, [dev](const auto& entry) { return entry.first.first == dev; });
    return below([&] {
        wrote_ = true;
        return inner_.write_flash_partion(dev, partion, data);
    });
}
