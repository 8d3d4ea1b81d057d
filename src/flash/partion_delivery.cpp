#include "partion_delivery.h"

#include <algorithm>
#include <cstdio>

#include "file_io.h"

void deliver_partion(std::span<const u8> data, const char* out_bin_fname, std::span<u8> out_buf) {
    if (out_bin_fname != nullptr) {
        // A failed save has its own report; the data is still delivered.
        write_to_file(data, out_bin_fname);
        std::printf("out to: %s\n", out_bin_fname);
    }
    const std::size_t n = std::min(data.size(), out_buf.size());
    std::copy_n(data.begin(), n, out_buf.begin());
}
