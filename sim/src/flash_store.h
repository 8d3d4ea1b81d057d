// One card's flash: kept in memory and written through to an image file in
// the state folder on every change, so that the file always shows what the
// card holds. An existing file is taken as the card's flash as it stands.
#pragma once

#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "base/types.h"
#include "base/unique_fd.h"

namespace zsim {

class flash_store {
public:
    // Opens `path`, or creates it with `initial()` (exactly `size` bytes).
    // Throws sim_error when an existing file has another size.
    flash_store(std::string path, u32 size, const std::function<std::vector<u8>()>& initial);

    // `len` bytes from `off`; bytes past the end of flash read as 0xFF.
    std::vector<u8> read(u32 off, u32 len) const;
    // Stores `data` at `off`; 0, or ENOSPC when it would run past the end of
    // flash (nothing stored), or the errno of the failed file write.
    int write(u32 off, std::span<const u8> data);

    u32 size() const { return static_cast<u32>(mem_.size()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    unique_fd fd_;
    std::vector<u8> mem_;
    mutable std::mutex mu_;
};

// The image file of the card named by its PCI address: DIR/ADDR.flash.
std::string flash_file_path(const std::string& state_dir, const std::string& card_addr);

}  // namespace zsim
