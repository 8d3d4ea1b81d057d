// The request/reply exchange with the driver's per-interface maintain file:
// partition and command numbers, the 20-byte headers and the reply limits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/types.h"

enum FLASH_PART : int {
    PART_FW = 1,        // firmware, from the start of flash
    PART_CFG = 2,       // factory configuration (net_config)
    PART_MAC_ADDR = 3,  // user configuration record (ucfg_mac_sn)
    PCSPHY = 4,
    IPXE = 5,
    VERSION_INFO = 10,  // firmware and PXE version record (fw_version)
    PART_MAX = 11,      // highest partition number the channel accepts
};

enum MAINTAIN_CMD : int {
    MT_READ_FLASH = 0,
    MT_WRITE_FLASH = 1,
};

constexpr u32 MAINTAIN_MAGIC = 0xa6a7a8a9;
constexpr u32 MAINTAIN_REPLY_MAGIC = 0xB6B7B8B9;
constexpr int MAINTAIN_HDR_SZ = 20;

// Both headers are five little-endian signed 32-bit words. The data follows
// the header in the same buffer; it is not part of the struct.
struct maintain_req {
    std::int32_t magic;
    std::int32_t cmd;
    std::int32_t arg0;            // partition number
    std::int32_t req_data_bytes;  // data bytes following the header (writes)
    std::int32_t reply_bytes;     // room offered for the reply, header included (reads)
};

struct maintain_reply {
    std::int32_t magic;  // not examined
    std::int32_t cmd;    // not examined
    std::int32_t arg0;   // not examined
    std::int32_t data_bytes;
    std::int32_t rev;
};

static_assert(sizeof(maintain_req) == MAINTAIN_HDR_SZ);
static_assert(offsetof(maintain_req, magic) == 0);
static_assert(offsetof(maintain_req, cmd) == 4);
static_assert(offsetof(maintain_req, arg0) == 8);
static_assert(offsetof(maintain_req, req_data_bytes) == 12);
static_assert(offsetof(maintain_req, reply_bytes) == 16);
static_assert(sizeof(maintain_reply) == MAINTAIN_HDR_SZ);
static_assert(offsetof(maintain_reply, data_bytes) == 12);
static_assert(offsetof(maintain_reply, rev) == 16);

// The wire form of both headers: five little-endian words, whatever the
// host's byte order. The tool encodes requests and decodes replies; the
// driver simulator does the opposite, with the same code.
void encode_maintain_req(const maintain_req& req, u8* out);
maintain_req decode_maintain_req(const u8* in);
void encode_maintain_reply(const maintain_reply& reply, u8* out);
maintain_reply decode_maintain_reply(const u8* in);

// Bytes written to the maintain file for a request: header plus data.
inline int req_total_sz(const maintain_req& req) { return MAINTAIN_HDR_SZ + req.req_data_bytes; }

// Largest reply data the tool asks for from partition `partion`.
int partion_max_sz(int partion);

// The partition numbers the channel accepts: 1 to PART_MAX.
inline bool partion_in_range(int partion) { return partion >= 1 && partion <= PART_MAX; }

// XOR of the first size/4 little-endian 32-bit words at ptr.
u32 crxsum(const void* ptr, std::size_t size);
