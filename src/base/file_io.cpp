#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "unique_fd.h"
#include "message_sink.h"

void sys_error_report(const char* prefix, int err) {
    messages().write_error(std::string(prefix) + ": " + std::strerror(err) + "\n");
}

int read_file_full(int fd, u8* buf, int bflen, int chunk) {
    int done = 0;
    // A zero-length request is still made once, so bflen 0 probes the fd.
    do {
        const int want = std::min(chunk, bflen - done);
        const ssize_t n = ::read(fd, buf + done, static_cast<size_t>(want));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -EIO;
        if (n == 0)
            break;
        done += static_cast<int>(n);
    } while (done < bflen);
    return done;
}

int write_file_full(int fd, const u8* buf, int len) {
    int done = 0;
    while (done < len) {
        const ssize_t n = ::write(fd, buf + done, static_cast<size_t>(len - done));
        if (n < 0 && errno == EINTR)
            continue;
        // A write that takes nothing would make no progress; treat it as failed.
        if (n <= 0)
            return -EIO;
        done += static_cast<int>(n);
    }
    return len;
}

int write_to_file(std::span<const u8> buf, const char* fname) {
    unique_fd fd(::open(fname, O_WRONLY | O_CREAT | O_TRUNC, 0644));
    const int len = static_cast<int>(buf.size());
    // A file that is not written whole is as useless as one never opened;
    // a full disk may show itself only when the file is closed.
    bool saved = fd && write_file_full(fd.get(), buf.data(), len) == len;
    if (saved)
        saved = ::close(fd.release()) == 0;
    if (!saved) {
        sys_error_report("save faild!\n");
        return -EIO;
    }
    return len;
}

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
