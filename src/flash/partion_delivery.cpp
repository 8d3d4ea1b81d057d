#include "partion_delivery.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "base/file_io.h"
#include "base/message_sink.h"

int deliver_partion(std::span<const u8> data, const char* out_bin_fname, std::span<u8> out_buf) {
    const std::size_t n = std::min(data.size(), out_buf.size());
    std::copy_n(data.begin(), n, out_buf.begin());
    if (out_bin_fname == nullptr)
        return 0;
    // The save has its own report; the read still fails, so no run ends in
    // success without the file it was asked for.
    const int saved = write_to_file(data, out_bin_fname);
    messages().print("out to: %s\n", out_bin_fname);
    return saved < 0 ? -EIO : 0;
}
