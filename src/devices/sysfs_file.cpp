#include "sysfs_file.h"

#include <cstdlib>

namespace {

u32 read_file_number(const std::string& fname, int base) {
    const auto content = read_file(fname);
    if (!content)
        return READ_FILE_FAILED;
    // strtoul needs a terminator; the copy keeps it from running past the
    // bytes read.
    const std::string text(content->begin(), content->end());
    return static_cast<u32>(std::strtoul(text.c_str(), nullptr, base));
}

}  // namespace

u32 read_file_int(const std::string& fname) { return read_file_number(fname, 10); }

u32 read_file_hex(const std::string& fname) { return read_file_number(fname, 16); }
