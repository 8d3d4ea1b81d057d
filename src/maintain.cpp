#include "maintain.h"

#include "byte_order.h"
#include "cfg.h"
#include "image/flash_layout.h"

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

u32 crxsum(const void* ptr, std::size_t size) {
    const u8* bytes = static_cast<const u8*>(ptr);
    u32 sum = 0;
    for (std::size_t i = 0; i + 4 <= size; i += 4)
        sum ^= get_le32(bytes + i);
    return sum;
}
