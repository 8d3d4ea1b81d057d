// The maintain exchange through the mounted tree: reply bytes, partition
// placement in both flash layouts and the request log.
#include "sim_fixture.h"

namespace zsim::test {
namespace {

using MaintainProtocol = maintain_sim;

TEST_F(MaintainProtocol, EachPartitionIsItsAreaOfFlash) {
    struct case_ {
        const char* iface;
        const char* card;
        int part;
        u32 off, size;  // the partition's area in flash
    } const cases[] = {
        {"e0", STD, PART_FW, 0x0, 0x41000},          {"e0", STD, PART_CFG, 0x40000, 0x1000},
        {"e0", STD, PART_MAC_ADDR, 0x41000, 0x1000}, {"e0", STD, PCSPHY, 0x42000, 0x8000},
        {"e0", STD, IPXE, 0x4A000, 0x80000},         {"k0", KV3, PART_FW, 0x0, 0x1E000},
        {"k0", KV3, PART_CFG, 0x1D000, 0x1000},      {"k0", KV3, PART_MAC_ADDR, 0x1E000, 0x1000},
        {"k0", KV3, PCSPHY, 0x1F000, 0x1000},        {"k0", KV3, IPXE, 0x20000, 0x60000},
    };
    u32 tag = 0x50000000;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.iface) + " partition " + std::to_string(c.part));
        std::vector<u8> img = flash(c.card);
        ASSERT_EQ(img.size(), std::string(c.card) == STD ? 0xCA000u : 0x80000u);
        // Reads: the area from its start, never more than offered.
        for (const u32 offered : {c.size + 0x100, 100u}) {
            const u32 n = std::min(offered, c.size);
            std::vector<u8> want = le_words({MAINTAIN_REPLY_MAGIC, MT_READ_FLASH, u32(c.part), n, 0});
            want.insert(want.end(), img.begin() + c.off, img.begin() + c.off + n);
            const auto reply = exchange(maintain(c.iface), read_request(c.part, offered + 20));
            EXPECT_TRUE(reply == want) << reply.size() << "-byte reply to a read offering " << offered;
        }
        // Writes: from the area's start; firmware may run on to the end of flash.
        const std::size_t room = c.part == PART_FW ? img.size() : c.size;
        std::vector<u8> data = addressed_image(room, c.off + (tag += 0x01000000));
        EXPECT_EQ(send(maintain(c.iface), write_request(c.part, data)), static_cast<long>(20 + room));
        std::copy(data.begin(), data.end(), img.begin() + c.off);
        EXPECT_TRUE(flash(c.card) == img) << "flash not as expected after a write of " << room;
    }
}

TEST_F(MaintainProtocol, RequestLogHasOneLinePerRequest) {
    exchange(maintain("e0"), read_request(PART_MAC_ADDR, 500));
    send(maintain("k0"), write_request(PCSPHY, {'1', '2', '3', '4', '5', '6', '7', '8', '9'}));
    // cbf43926: the common CRC-32 check value of "123456789".
    EXPECT_EQ(log_lines(),
              (std::vector<std::string>{
                  "iface=e0 cmd=0 part=3 req_data_bytes=0 reply_bytes=500 "
                  "hdr=a9a8a7a6000000000300000000000000f4010000 payload=0 crc32=00000000 "
                  "reply_data=480 result=ok",
                  "iface=k0 cmd=1 part=4 req_data_bytes=9 reply_bytes=0 "
                  "hdr=a9a8a7a601000000040000000900000000000000 payload=9 crc32=cbf43926 "
                  "reply_data=0 result=ok"}));
}

}  // namespace
}  // namespace zsim::test
