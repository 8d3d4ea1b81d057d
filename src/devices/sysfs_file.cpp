#include "sysfs_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "../unique_fd.h"

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

std::optional<std::vector<u8>> read_file(const std::string& fname) {
    // Opened without waiting: a FIFO would block the open until a writer came.
    const unique_fd fd(::open(fname.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 || st.st_size > READ_FILE_MAX_SZ)
        return std::nullopt;
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return std::nullopt;

    // The status size bounds the read: the whole of a regular file, the
    // attribute page of a sysfs file.
    std::vector<u8> buf;
    try {
        buf.resize(static_cast<std::size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    std::size_t got = 0;
    while (got < buf.size()) {
        const ssize_t n = ::read(fd.get(), buf.data() + got, buf.size() - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got == 0)
        return std::nullopt;
    buf.resize(got);
    return buf;
}

u32 read_file_int(const std::string& fname) { return read_file_number(fname, 10); }

u32 read_file_hex(const std::string& fname) { return read_file_number(fname, 16); }
