#include "maintain_channel.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <new>

#include "../exit_request.h"
#include "card_lock.h"
#include "file_io.h"
#include "maintain_lock.h"
#include "partion_delivery.h"
#include "../unique_fd.h"

namespace {

constexpr int MAINTAIN_PATH_CAP = 200;  // at most 199 characters

// Opens `path` for reading and writing; a failure is reported here.
unique_fd open_maintain(const std::string& path) {
    unique_fd fd(::open(path.c_str(), O_RDWR));
    if (!fd) {
        const int err = errno;
        std::printf("faild to open:%s\n", path.c_str());
        sys_error_report("error", err);
    }
    return fd;
}

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

int read_reply(int fd, int partion, std::span<u8> reply, int chunk) {
    const int got_hdr = read_file_full(fd, reply.data(), MAINTAIN_HDR_SZ, chunk);
    if (got_hdr < 0)
        end_process(-1);
    if (got_hdr < MAINTAIN_HDR_SZ) {
        std::printf("invalid reply: header %d bytes\n", got_hdr);
        return -5;
    }
    const int max = partion_max_sz(partion);
    const int room = static_cast<int>(reply.size()) - MAINTAIN_HDR_SZ;
    const int data_bytes = decode_maintain_reply(reply.data()).data_bytes;
    if (data_bytes < 0 || data_bytes > max || data_bytes > room) {
        std::printf("invalid reply: data_bytes:%d max:%d\n", data_bytes, max);
        return -5;
    }
    const int got = read_file_full(fd, reply.data() + MAINTAIN_HDR_SZ, data_bytes, chunk);
    if (got < 0)
        return got;
    if (got < data_bytes) {
        std::printf("invalid reply: data %d of %d bytes\n", got, data_bytes);
        return -5;
    }
    return data_bytes;
}

int maintain_read_exchange(int fd, int partion, const char* out_bin_fname, std::span<u8> out_buf, int chunk,
                           exchange_lock lock) {
    if (!lock.held)
        lock_maintain_file(fd, lock_wait::no, lock.limit_s);
    // A descriptor kept across exchanges stands past the last reply.
    else if (::lseek(fd, 0, SEEK_SET) < 0)
        return -5;
    const int reply_sz = partion_max_sz(partion) + MAINTAIN_HDR_SZ;
    std::vector<u8> reply;
    try {
        reply.resize(static_cast<std::size_t>(reply_sz));
    } catch (const std::bad_alloc&) {
        std::printf("no meory!%d\n", reply_sz);
        return -12;
    }
    const std::array<u8, MAINTAIN_HDR_SZ> req = encode_read_req(partion);
    if (write_file_full(fd, req.data(), MAINTAIN_HDR_SZ) != MAINTAIN_HDR_SZ) {
        sys_error_report("send req faild!\n");
        end_process(-1);
    }
    // The driver answers a request from the file's start.
    if (::lseek(fd, 0, SEEK_SET) < 0) {
        sys_error_report("lsseek\n");
        end_process(-1);
    }
    int result = read_reply(fd, partion, reply, chunk);
    if (!lock.held)
        unlock_maintain_file(fd);
    // The reply is in memory: the dump file is opened and written with the
    // card free, so an output that blocks (a FIFO nobody reads) holds no card.
    if (result > 0 &&
        deliver_partion(std::span<const u8>(reply).subspan(MAINTAIN_HDR_SZ, static_cast<std::size_t>(result)),
                        out_bin_fname, out_buf) < 0)
        result = -5;
    return result;
}

int maintain_write_exchange(int fd, int partion, std::span<const u8> data, exchange_lock lock) {
    if (!lock.held)
        lock_maintain_file(fd, lock_wait::yes, lock.limit_s);
    std::vector<u8> req;
    try {
        req = encode_write_req(partion, data);
    } catch (const std::bad_alloc&) {
        std::printf("no meory!%d\n", static_cast<int>(data.size()) + MAINTAIN_HDR_SZ);
        return -12;
    }
    if (::lseek(fd, 0, SEEK_SET) < 0) {
        sys_error_report("lsseek\n");
        return -5;
    }
    const int total = static_cast<int>(req.size());
    // The driver carries a write out by the time the write call returns.
    if (write_file_full(fd, req.data(), total) != total) {
        std::printf(" Faild\n");
        return -5;
    }
    std::printf(" Done\n");
    if (!lock.held)
        unlock_maintain_file(fd);
    return 0;
}

int maintain_channel::read_flash_partion(const eth_dev* dev, int partion, const char* out_bin_fname,
                                         std::span<u8> out_buf) {
    if (!partion_in_range(partion) || dev == nullptr)
        return -22;
    if (const int fd = held_fd(dev); fd >= 0)
        return maintain_read_exchange(fd, partion, out_bin_fname, out_buf, read_chunk_, {true});
    const unique_fd fd = open_maintain(maintain_path(dev->name));
    if (!fd)
        return -5;
    return maintain_read_exchange(fd.get(), partion, out_bin_fname, out_buf, read_chunk_, {false, lock_limit_s_});
}

int maintain_channel::write_flash_partion(const eth_dev* dev, int partion, std::span<const u8> data) {
    if (dev == nullptr) {
        std::printf("eth_dev is null!\n");
        return -22;
    }
    if (!partion_in_range(partion))
        return -22;
    std::printf("writing flash....");
    // A progress text: show it before the flash write, which may take a while.
    std::fflush(stdout);
    const std::string path = maintain_path(dev->name);
    if (trace2_)
        std::printf("[%s][%s]\n", dev->name, path.c_str());
    if (const int fd = held_fd(dev); fd >= 0)
        return maintain_write_exchange(fd, partion, data, {true});
    const unique_fd fd = open_maintain(path);
    if (!fd)
        return -5;
    return maintain_write_exchange(fd.get(), partion, data, {false, lock_limit_s_});
}

int maintain_channel::held_fd(const eth_dev* dev) const { return held_ ? held_->fd_of(dev->name) : -1; }
