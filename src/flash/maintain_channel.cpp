#include "maintain_channel.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <new>
#include <optional>

#include "base/file_io.h"
#include "card_lock.h"
#include "maintain_lock.h"
#include "partion_delivery.h"
#include "base/unique_fd.h"
#include "base/message_sink.h"

namespace {

constexpr int MAINTAIN_PATH_CAP = 200;  // at most 199 characters

// Opens `path` for reading and writing; a failure is reported here.
unique_fd open_maintain(const std::string& path) {
    unique_fd fd(::open(path.c_str(), O_RDWR));
    if (!fd) {
        const int err = errno;
        messages().print("faild to open:%s\n", path.c_str());
        sys_error_report("error", err);
    }
    return fd;
}

// Releases an exchange's own lock; nothing to do under a lock held across
// exchanges.
result release(std::optional<maintain_lock_guard>& lock) { return lock ? lock->release() : result{}; }

}  // namespace

std::string maintain_path(const char* name) {
    char path[MAINTAIN_PATH_CAP];
    std::snprintf(path, sizeof(path), "/sys/class/net/%s/maintain", name);
    return path;
}

std::array<u8, MAINTAIN_HDR_SZ> encode_read_req(int partion) {
    std::array<u8, MAINTAIN_HDR_SZ> out{};
    encode_maintain_req(maintain_req{static_cast<std::int32_t>(MAINTAIN_MAGIC), MT_READ_FLASH, partion, 0,
                                     partion_max_sz(partion) + MAINTAIN_HDR_SZ},
                        out.data());
    return out;
}

std::vector<u8> encode_write_req(int partion, std::span<const u8> data) {
    const maintain_req req{static_cast<std::int32_t>(MAINTAIN_MAGIC), MT_WRITE_FLASH, partion,
                           static_cast<std::int32_t>(data.size()), 0};
    std::vector<u8> out(static_cast<std::size_t>(req_total_sz(req)));
    encode_maintain_req(req, out.data());
    std::copy(data.begin(), data.end(), out.begin() + MAINTAIN_HDR_SZ);
    return out;
}

flash_outcome read_reply(int fd, int partion, std::span<u8> reply, int chunk) {
    const int got_hdr = read_file_full(fd, reply.data(), MAINTAIN_HDR_SZ, chunk);
    if (got_hdr < 0)
        return run_ending(-EIO, fault_code::io, "reply header unreadable");
    if (got_hdr < MAINTAIN_HDR_SZ) {
        messages().print("invalid reply: header %d bytes\n", got_hdr);
        return {-EIO, {}};
    }
    const int max = partion_max_sz(partion);
    const int room = static_cast<int>(reply.size()) - MAINTAIN_HDR_SZ;
    const int data_bytes = decode_maintain_reply(reply.data()).data_bytes;
    if (data_bytes < 0 || data_bytes > max || data_bytes > room) {
        messages().print("invalid reply: data_bytes:%d max:%d\n", data_bytes, max);
        return {-EIO, {}};
    }
    const int got = read_file_full(fd, reply.data() + MAINTAIN_HDR_SZ, data_bytes, chunk);
    if (got < 0)
        return {got, {}};
    if (got < data_bytes) {
        messages().print("invalid reply: data %d of %d bytes\n", got, data_bytes);
        return {-EIO, {}};
    }
    return {data_bytes, {}};
}

flash_outcome maintain_read_exchange(int fd, int partion, const char* out_bin_fname, std::span<u8> out_buf,
                                     int chunk, exchange_lock held) {
    std::optional<maintain_lock_guard> lock;
    if (!held.held) {
        lock.emplace(fd, lock_wait::no, held.limit_s);
        if (!lock->taken().ok())
            return {-ETIMEDOUT, lock->taken()};
    } else if (::lseek(fd, 0, SEEK_SET) < 0) {
        // A descriptor kept across exchanges stands past the last reply.
        return {-EIO, {}};
    }
    const int reply_sz = partion_max_sz(partion) + MAINTAIN_HDR_SZ;
    std::vector<u8> reply;
    try {
        reply.resize(static_cast<std::size_t>(reply_sz));
    } catch (const std::bad_alloc&) {
        messages().print("no meory!%d\n", reply_sz);
        return {-ENOMEM, {}};
    }
    const std::array<u8, MAINTAIN_HDR_SZ> req = encode_read_req(partion);
    if (write_file_full(fd, req.data(), MAINTAIN_HDR_SZ) != MAINTAIN_HDR_SZ) {
        sys_error_report("send req faild!\n");
        return run_ending(-EIO, fault_code::io, "send req faild!");
    }
    // The driver answers a request from the file's start.
    if (::lseek(fd, 0, SEEK_SET) < 0) {
        sys_error_report("lsseek\n");
        return run_ending(-EIO, fault_code::io, "lsseek");
    }
    flash_outcome got = read_reply(fd, partion, reply, chunk);
    if (!got.fault.ok())
        return got;
    if (result released = release(lock); !released.ok())
        return {-ENOLCK, std::move(released)};
    // The reply is in memory: the dump file is opened and written with the
    // card free, so an output that blocks (a FIFO nobody reads) holds no card.
    if (got.value > 0 &&
        deliver_partion(std::span<const u8>(reply).subspan(MAINTAIN_HDR_SZ, static_cast<std::size_t>(got.value)),
                        out_bin_fname, out_buf) < 0)
        got.value = -EIO;
    return got;
}

flash_outcome maintain_write_exchange(int fd, int partion, std::span<const u8> data, exchange_lock held) {
    std::optional<maintain_lock_guard> lock;
    if (!held.held) {
        lock.emplace(fd, lock_wait::yes, held.limit_s);
        if (!lock->taken().ok())
            return {-ETIMEDOUT, lock->taken()};
    }
    std::vector<u8> req;
    try {
        req = encode_write_req(partion, data);
    } catch (const std::bad_alloc&) {
        messages().print("no meory!%d\n", static_cast<int>(data.size()) + MAINTAIN_HDR_SZ);
        return {-ENOMEM, {}};
    }
    if (::lseek(fd, 0, SEEK_SET) < 0) {
        sys_error_report("lsseek\n");
        return {-EIO, {}};
    }
    const int total = static_cast<int>(req.size());
    // The driver carries a write out by the time the write call returns.
    if (write_file_full(fd, req.data(), total) != total) {
        messages().print(" Faild\n");
        return {-EIO, {}};
    }
    messages().print(" Done\n");
    if (result released = release(lock); !released.ok())
        return {-ENOLCK, std::move(released)};
    return {0, {}};
}

int maintain_channel::read_flash_partion(const eth_dev* dev, int partion, const char* out_bin_fname,
                                         std::span<u8> out_buf) {
    if (run_ended())
        return -ECANCELED;
    if (!partion_in_range(partion) || dev == nullptr)
        return -EINVAL;
    if (const int fd = held_fd(dev); fd >= 0)
        return settle(maintain_read_exchange(fd, partion, out_bin_fname, out_buf, read_chunk_, {true}));
    const unique_fd fd = open_maintain(maintain_path(dev->name));
    if (!fd)
        return -EIO;
    return settle(maintain_read_exchange(fd.get(), partion, out_bin_fname, out_buf, read_chunk_, {false, lock_limit_s_}));
}

int maintain_channel::write_flash_partion(const eth_dev* dev, int partion, std::span<const u8> data) {
    if (run_ended())
        return -ECANCELED;
    if (dev == nullptr) {
        messages().print("eth_dev is null!\n");
        return -EINVAL;
    }
    if (!partion_in_range(partion))
        return -EINVAL;
    messages().print("writing flash....");
    // A progress text: show it before the flash write, which may take a while.
    messages().flush();
    const std::string path = maintain_path(dev->name);
    if (trace2_)
        messages().print("[%s][%s]\n", dev->name, path.c_str());
    if (const int fd = held_fd(dev); fd >= 0)
        return settle(maintain_write_exchange(fd, partion, data, {true}));
    const unique_fd fd = open_maintain(path);
    if (!fd)
        return -EIO;
    return settle(maintain_write_exchange(fd.get(), partion, data, {false, lock_limit_s_}));
}

int maintain_channel::held_fd(const eth_dev* dev) const { return held_ ? held_->fd_of(dev->name) : -1; }
