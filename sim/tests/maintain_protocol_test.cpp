// The maintain exchange through the mounted tree: reply bytes, partition
// placement in both flash layouts, split requests and the request log.
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
        data.push_back(0x42);
        EXPECT_EQ(send(maintain(c.iface), write_request(c.part, data)), -ENOSPC);
        EXPECT_TRUE(flash(c.card) == img) << "a write one byte too long changed the flash";
    }
}

TEST_F(MaintainProtocol, VersionRecordAndPartitionsWithoutArea) {
    const std::tuple<const char*, u32, u32> cases[] = {
        {"e0", 20, 0xA7A8}, {"k0", 20, 0xA7A7}, {"m0", 0, 0}};  // interface, data bytes, magic
    for (const auto& [iface, data_bytes, magic] : cases) {
        const std::vector<u8> reply = exchange(maintain(iface), read_request(VERSION_INFO, 52));
        ASSERT_EQ(reply.size(), 20 + data_bytes) << iface;
        EXPECT_EQ(word_at(reply, 12), data_bytes) << iface;
        // fw 1.2.3.4 one part per byte, most significant first; pxe 5.6.7 least significant first
        if (data_bytes != 0) {
            EXPECT_EQ(std::vector<u8>(reply.begin() + 20, reply.begin() + 32),
                      le_words({0x01020304, 0x00070605, magic})) << iface;
        }
    }
    const std::vector<u8> img = flash(STD);
    EXPECT_EQ(exchange(maintain("e0"), read_request(9, 120)),
              le_words({MAINTAIN_REPLY_MAGIC, MT_READ_FLASH, 9, 0, 0}));
    EXPECT_EQ(send(maintain("e0"), write_request(PART_MAX, std::vector<u8>(8, 1))), 28);
    EXPECT_TRUE(flash(STD) == img) << "a write to partition 11 was stored";
}

TEST_F(MaintainProtocol, RequestsMayArriveInPieces) {
    const std::vector<std::vector<std::size_t>> splits = {{1, 19, 480}, {7, 7, 6, 480}, {499, 1}};
    u32 tag = 0;
    for (const auto& pieces : splits) {
        const std::vector<u8> data = addressed_image(480, tag += 0x01000000);
        const std::vector<u8> r = write_request(PART_MAC_ADDR, data);
        unique_fd fd(::open(maintain("e0").c_str(), O_RDWR));
        std::size_t at = 0;
        for (std::size_t n : pieces)
            ASSERT_EQ(::write(fd.get(), r.data() + std::exchange(at, at + n), n), ssize_t(n));
        const std::vector<u8> img = flash(STD);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), img.begin() + 0x41000))
            << "split " << ::testing::PrintToString(pieces);
    }
    // Read headers in pieces on two open files at once: each gets its own reply.
    const std::vector<u8> ra = read_request(PART_MAC_ADDR, 500), rb = read_request(PART_CFG, 4116);
    unique_fd a(::open(maintain("e0").c_str(), O_RDWR)), b(::open(maintain("e0").c_str(), O_RDWR));
    ASSERT_EQ(::write(a.get(), ra.data(), 3), 3);
    ASSERT_EQ(::write(b.get(), rb.data(), 20), 20);
    ASSERT_EQ(::write(a.get(), ra.data() + 3, 17), 17);
    u8 hdr[16];
    ASSERT_EQ(::pread(a.get(), hdr, 16, 0), 16);
    EXPECT_EQ(std::vector<u8>(hdr, hdr + 16), le_words({MAINTAIN_REPLY_MAGIC, 0, 3, 480}));
    ASSERT_EQ(::pread(b.get(), hdr, 16, 0), 16);
    EXPECT_EQ(std::vector<u8>(hdr, hdr + 16), le_words({MAINTAIN_REPLY_MAGIC, 0, 2, 4096}));
}

TEST_F(MaintainProtocol, MalformedRequestsAreRefused) {
    const std::pair<const char*, std::vector<u8>> cases[] = {
        {"wrong magic", le_words({0xa6a7a8a8, MT_WRITE_FLASH, PART_MAC_ADDR, 4, 0, 0x01010101})},
        {"partition 12", le_words({MAINTAIN_MAGIC, MT_WRITE_FLASH, 12, 4, 0, 0x01010101})},
        {"more bytes than announced", le_words({MAINTAIN_MAGIC, MT_WRITE_FLASH, 3, 3, 0, 0})},
        {"read offering no room for the header", read_request(PART_CFG, 19)},
    };
    const std::vector<u8> before = flash(STD);
    for (const auto& [what, request] : cases)
        EXPECT_EQ(send(maintain("e0"), request), -EINVAL) << what;
    unique_fd fd(::open(maintain("e0").c_str(), O_RDWR));
    const std::vector<u8> good = write_request(PART_MAC_ADDR, {1, 1, 1, 1});
    EXPECT_EQ(::pwrite(fd.get(), good.data(), good.size(), 5), -1) << "not where the request stands";
    EXPECT_EQ(errno, EINVAL);
    EXPECT_TRUE(flash(STD) == before) << "a refused request was stored";
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
