// The live flash channel: one locked request/reply exchange per partition
// access over the driver's "/sys/class/net/<name>/maintain" file.
#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

#include "devices/eth_dev.h"
#include "maintain/maintain.h"
#include "base/types.h"
#include "base/file_io.h"
#include "flash_access.h"
#include "maintain_lock.h"

class card_lock;

// How one exchange treats the maintain file's lock.
struct exchange_lock {
    bool held = false;                // the caller holds it across exchanges: neither take nor release it
    int limit_s = FILE_RW_LOCK_TIME;  // otherwise: how long to try for it
};

// The maintain file of interface `name`.
std::string maintain_path(const char* name);

// The 20-byte read request for `partion`, offering its reply limit plus the
// header as room.
std::array<u8, MAINTAIN_HDR_SZ> encode_read_req(int partion);

// The write request for `partion`: header, then `data`. May throw bad_alloc.
std::vector<u8> encode_write_req(int partion, std::span<const u8> data);

// Reads a reply header and its data from `fd` into `reply`, which holds the
// header and partion_max_sz(partion) bytes, at most `chunk` bytes a request.
// Returns data_bytes, or -EIO for a reply that is short or announces more
// than fits; a failing header read ends the run (fault io).
flash_outcome read_reply(int fd, int partion, std::span<u8> reply, int chunk = READ_CHUNK_SZ);

// One read exchange on the open maintain file `fd`, under the non-waiting
// lock (unless `lock` says the caller holds it), released on every way out;
// the data is delivered (dump file, buffer) after the lock is released.
// Returns what read_flash_partion returns; a lock not had in time, a request
// not sent and a reply header not read end the run (faults lock_timeout and
// io), and so does a lock not released (lock_release).
flash_outcome maintain_read_exchange(int fd, int partion, const char* out_bin_fname, std::span<u8> out_buf,
                                     int chunk = READ_CHUNK_SZ, exchange_lock lock = {});

// One write exchange on the open maintain file `fd`, under the waiting lock;
// completes the "writing flash...." line with " Done" or " Faild". The lock
// faults end the run as for reads.
flash_outcome maintain_write_exchange(int fd, int partion, std::span<const u8> data, exchange_lock lock = {});

class maintain_channel final : public flash_access {
public:
    // `trace2`: show the interface and maintain path of every write.
    // `read_chunk`: the largest read request of a reply.
    // `lock_limit_s`: how long a request tries for the maintain lock.
    explicit maintain_channel(bool trace2, int read_chunk = READ_CHUNK_SZ, int lock_limit_s = FILE_RW_LOCK_TIME)
        : trace2_(trace2), read_chunk_(read_chunk), lock_limit_s_(lock_limit_s) {}

    // While set, exchanges on an interface `lock` holds run on its locked
    // descriptor, which they neither lock, unlock nor close; nullptr ends it.
    void hold(const card_lock* lock) { held_ = lock; }

    int read_flash_partion(const eth_dev* dev, int partion, const char* out_bin_fname,
                           std::span<u8> out_buf) override;
    int write_flash_partion(const eth_dev* dev, int partion, std::span<const u8> data) override;

private:
    bool trace2_;
    int read_chunk_;
    int lock_limit_s_;
    const card_lock* held_ = nullptr;
    int held_fd(const eth_dev* dev) const;
};
