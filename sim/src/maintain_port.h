// The driver's side of one interface's maintain file: requests written into
// it are collected per open file until complete, then carried out on the
// card's flash; a read request leaves a reply that reads of the same open
// file return. Injected faults of the interface apply here.
#pragma once

#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "flash_map.h"
#include "flash_store.h"
#include "request_log.h"
#include "sim_config.h"

namespace zsim {

struct card_state {
    const card_cfg* cfg = nullptr;
    const flash_map* map = nullptr;
    std::unique_ptr<flash_store> flash;
};

struct maintain_port {
    std::string iface;
    card_state* card = nullptr;
    iface_faults faults;  // counters run down as faults fire; guarded by mu
    std::mutex mu;
};

// Per open file: the request collected so far and the last reply.
struct maintain_handle {
    std::vector<u8> req;
    std::vector<u8> reply;
};

// Largest request accepted: a full flash image and then some.
constexpr std::size_t MAINTAIN_MAX_REQ = 16u << 20;

// A write call at file offset `off`: the bytes accepted, or -errno.
long maintain_write(maintain_port& port, maintain_handle& h, u64 off, std::span<const u8> data,
                    request_log& log);

// A read call: the reply bytes at `off`, at most `size`.
std::span<const u8> maintain_read(const maintain_handle& h, u64 off, std::size_t size);

}  // namespace zsim
