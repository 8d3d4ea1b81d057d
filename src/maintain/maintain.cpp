#include "maintain.h"

#include "base/byte_order.h"
#include "record/cfg.h"
#include "base/flash_layout.h"

int partion_max_sz(int partion) {
    switch (partion) {
    case PART_FW:
        return FW_BIN_DEFAULT_IMG_BIN_SZ;  // firmware area and the factory configuration behind it
    case PART_CFG:
        return CFG_MAX_SZ;
    case PART_MAC_ADDR:
        return UCFG_MAC_SN_SZ;
    case IPXE:
        return PXE_MAX_SZ;
    case VERSION_INFO:
        return 0x20;
    default:
        return 0x1000;
    }
}

namespace {

// The five words of either header, in wire order.
void put_words(u8* out, const std::int32_t (&w)[5]) {
    for (int i = 0; i < 5; ++i)
        put_le32(out + 4 * i, static_cast<u32>(w[i]));
}
void get_words(const u8* in, std::int32_t (&w)[5]) {
    for (int i = 0; i < 5; ++i)
        w[i] = static_cast<std::int32_t>(get_le32(in + 4 * i));
}

}  // namespace

void encode_maintain_req(const maintain_req& req, u8* out) {
    put_words(out, {req.magic, req.cmd, req.arg0, req.req_data_bytes, req.reply_bytes});
}

maintain_req decode_maintain_req(const u8* in) {
    std::int32_t w[5];
    get_words(in, w);
    return {w[0], w[1], w[2], w[3], w[4]};
}

void encode_maintain_reply(const maintain_reply& reply, u8* out) {
    put_words(out, {reply.magic, reply.cmd, reply.arg0, reply.data_bytes, reply.rev});
}

maintain_reply decode_maintain_reply(const u8* in) {
    std::int32_t w[5];
    get_words(in, w);
    return {w[0], w[1], w[2], w[3], w[4]};
}

u32 crxsum(const void* ptr, std::size_t size) {
    const u8* bytes = static_cast<const u8*>(ptr);
    u32 sum = 0;
    for (std::size_t i = 0; i + 4 <= size; i += 4)
        sum ^= get_le32(bytes + i);
    return sum;
}
