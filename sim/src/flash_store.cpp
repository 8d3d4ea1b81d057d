#include "flash_store.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "base/file_io.h"
#include "sim_error.h"

namespace zsim {

namespace {

bool write_all_at(int fd, std::span<const u8> data, off_t off) {
    return ::lseek(fd, off, SEEK_SET) == off &&
           write_file_full(fd, data.data(), static_cast<int>(data.size())) == static_cast<int>(data.size());
}

}  // namespace

std::string flash_file_path(const std::string& state_dir, const std::string& card_addr) {
    return state_dir + "/" + card_addr + ".flash";
}

flash_store::flash_store(std::string path, u32 size,
                         const std::function<std::vector<u8>()>& initial)
    : path_(std::move(path)) {
    fd_.reset(::open(path_.c_str(), O_RDWR | O_CLOEXEC));
    if (fd_) {
        struct stat st {};
        if (::fstat(fd_.get(), &st) != 0)
            throw sim_error(errno_text("cannot stat " + path_));
        if (st.st_size != static_cast<off_t>(size))
            throw sim_error(path_ + " holds " + std::to_string(st.st_size) +
                            " bytes; this card's flash has " + std::to_string(size) +
                            " (remove the file for a fresh flash)");
        mem_.resize(size);
        std::size_t got = 0;
        while (got < size) {
            const ssize_t n = ::pread(fd_.get(), mem_.data() + got, size - got,
                                      static_cast<off_t>(got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw sim_error(errno_text("cannot read " + path_));
            got += static_cast<std::size_t>(n);
        }
        return;
    }
    if (errno != ENOENT)
        throw sim_error(errno_text("cannot open " + path_));
    mem_ = initial();
    if (mem_.size() != size)
        throw sim_error("initial content for " + path_ + " has " + std::to_string(mem_.size()) +
                        " bytes, expected " + std::to_string(size));
    fd_.reset(::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd_)
        throw sim_error(errno_text("cannot create " + path_));
    if (!write_all_at(fd_.get(), mem_, 0))
        throw sim_error(errno_text("cannot write " + path_));
}

std::vector<u8> flash_store::read(u32 off, u32 len) const {
    std::lock_guard lock(mu_);
    std::vector<u8> out(len, 0xff);
    if (off < mem_.size()) {
        const std::size_t n = std::min<std::size_t>(len, mem_.size() - off);
        std::copy_n(mem_.begin() + off, n, out.begin());
    }
    return out;
}

int flash_store::write(u32 off, std::span<const u8> data) {
    std::lock_guard lock(mu_);
    if (off > mem_.size() || data.size() > mem_.size() - off)
        return ENOSPC;
    std::copy(data.begin(), data.end(), mem_.begin() + off);
    if (!write_all_at(fd_.get(), data, static_cast<off_t>(off)))
        return errno ? errno : EIO;
    return 0;
}

}  // namespace zsim
