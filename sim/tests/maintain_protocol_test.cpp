// The maintain exchange through the mounted tree: reply bytes, partition
// placement in both flash layouts, split requests and the request log.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "byte_order.h"
#include "image/crc32_info.h"
#include "maintain.h"
#include "sim_fixture.h"
#include "flash/unique_fd.h"

namespace zsim::test {
namespace {

class MaintainProtocol : public mounted_sim {
protected:
    // One standard card (e0) and one KV3 card (k0), each preloaded with an
    // addressed image: the word at flash offset X reads X + tag.
    void SetUp() override {
        write_whole(state_->path() + "/std.img", addressed_image(0xCA000, 0x10000000));
        write_whole(state_->path() + "/kv3.img", addressed_image(0x80000, 0x30000000));
        mount("card 0000:03:00.0 device=0x8308 flash=file:" + state_->path() + "/std.img\n"
              "iface e0\n"
              "card 0000:05:00.0 device=0x8208 flash=file:" + state_->path() + "/kv3.img\n"
              "iface k0\n");
    }
};

TEST_F(MaintainProtocol, ReadRequestBytesAreThePinnedOnes) {
    const std::vector<u8> want = {0xa9, 0xa8, 0xa7, 0xa6, 0, 0, 0, 0, 3, 0,
                                  0,    0,    0,    0,    0, 0, 0xf4, 1, 0, 0};
    EXPECT_EQ(read_request(PART_MAC_ADDR, 500), want);
}

TEST_F(MaintainProtocol, ReadsServeEachPartitionFromItsArea) {
    struct case_ {
        const char* iface;
        int part;
        int offered;      // data room: reply_bytes - 20
        u32 data_bytes;   // expected
        u32 flash_off;    // where the data starts in flash
        u32 tag;
    } const cases[] = {
        {"e0", PART_FW, 0x41000, 0x41000, 0x0, 0x10000000},
        {"e0", PART_CFG, 0x1000, 0x1000, 0x40000, 0x10000000},
        {"e0", PART_MAC_ADDR, 480, 480, 0x41000, 0x10000000},
        {"e0", PCSPHY, 0x1000, 0x1000, 0x42000, 0x10000000},
        {"e0", IPXE, 0x80000, 0x80000, 0x4A000, 0x10000000},
        {"e0", PART_FW, 100, 100, 0x0, 0x10000000},  // never more than offered
        {"k0", PART_FW, 0x41000, 0x1E000, 0x0, 0x30000000},
        {"k0", PART_CFG, 0x1000, 0x1000, 0x1D000, 0x30000000},
        {"k0", PART_MAC_ADDR, 480, 480, 0x1E000, 0x30000000},
        {"k0", PCSPHY, 0x1000, 0x1000, 0x1F000, 0x30000000},
        {"k0", IPXE, 0x80000, 0x60000, 0x20000, 0x30000000},
        {"e0", 6, 0x1000, 0, 0, 0},
        {"e0", 9, 0x1000, 0, 0, 0},
        {"k0", PART_MAX, 0x1000, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.iface) + " partition " + std::to_string(c.part));
        const std::vector<u8> reply = exchange(maintain(c.iface), read_request(c.part, c.offered + 20));
        ASSERT_EQ(reply.size(), 20 + c.data_bytes);
        EXPECT_EQ(word_at(reply, 0), MAINTAIN_REPLY_MAGIC);
        EXPECT_EQ(word_at(reply, 4), static_cast<u32>(MT_READ_FLASH));
        EXPECT_EQ(word_at(reply, 8), static_cast<u32>(c.part));
        EXPECT_EQ(word_at(reply, 12), c.data_bytes);
        EXPECT_EQ(word_at(reply, 16), 0u);
        if (c.data_bytes >= 8) {
            EXPECT_EQ(word_at(reply, 20), c.flash_off + c.tag);
            EXPECT_EQ(word_at(reply, 20 + c.data_bytes - 4), c.flash_off + c.data_bytes - 4 + c.tag);
        }
    }
}

TEST_F(MaintainProtocol, WritesLandAtThePartitionStart) {
    struct case_ {
        const char* iface;
        const char* card;
        int part;
        u32 len;
        u32 flash_off;
        u32 flash_size;
    } const cases[] = {
        {"e0", "0000:03:00.0", PART_MAC_ADDR, 480, 0x41000, 0xCA000},
        {"e0", "0000:03:00.0", PART_CFG, 0x1000, 0x40000, 0xCA000},
        {"e0", "0000:03:00.0", PCSPHY, 0x8000, 0x42000, 0xCA000},
        {"e0", "0000:03:00.0", IPXE, 0x1234, 0x4A000, 0xCA000},
        {"e0", "0000:03:00.0", PART_FW, 0xCA000, 0x0, 0xCA000},  // a whole image runs on
        {"k0", "0000:05:00.0", PART_MAC_ADDR, 480, 0x1E000, 0x80000},
        {"k0", "0000:05:00.0", PCSPHY, 16, 0x1F000, 0x80000},
        {"k0", "0000:05:00.0", IPXE, 0x60000, 0x20000, 0x80000},
        {"k0", "0000:05:00.0", PART_FW, 0x80000, 0x0, 0x80000},
    };
    u32 tag = 0x50000000;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.iface) + " partition " + std::to_string(c.part));
        const std::vector<u8> before = flash(c.card);
        ASSERT_EQ(before.size(), c.flash_size);
        tag += 0x01000000;
        const std::vector<u8> data = addressed_image(c.len, tag);
        EXPECT_EQ(send(maintain(c.iface), write_request(c.part, data)),
                  static_cast<long>(20 + c.len));
        std::vector<u8> want = before;
        std::copy(data.begin(), data.end(), want.begin() + c.flash_off);
        EXPECT_TRUE(flash(c.card) == want) << "flash image differs from the expected one";
    }
}

TEST_F(MaintainProtocol, OversizedWritesFailAndStoreNothing) {
    struct case_ {
        const char* iface;
        const char* card;
        int part;
        u32 len;
    } const cases[] = {
        {"e0", "0000:03:00.0", PART_FW, 0xCA001},
        {"e0", "0000:03:00.0", PART_MAC_ADDR, 0x1001},
        {"k0", "0000:05:00.0", PART_FW, 0x80001},
        {"k0", "0000:05:00.0", IPXE, 0x60001},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.iface) + " partition " + std::to_string(c.part));
        const std::vector<u8> before = flash(c.card);
        EXPECT_EQ(send(maintain(c.iface), write_request(c.part, std::vector<u8>(c.len, 0x42))),
                  -ENOSPC);
        EXPECT_TRUE(flash(c.card) == before);
    }
}

TEST_F(MaintainProtocol, RequestsMayArriveInPieces) {
    const std::vector<u8> record = addressed_image(480, 0x77000000);
    const std::vector<std::vector<std::size_t>> splits = {
        {1, 19, 480}, {7, 7, 6, 480}, {20, 1, 479}, {250, 250}, {499, 1}};
    u8 fill = 0;
    for (const auto& pieces : splits) {
        std::vector<u8> data = record;
        data[0] = ++fill;  // a different record each time
        const std::vector<u8> r = write_request(PART_MAC_ADDR, data);
        unique_fd fd(::open(maintain("e0").c_str(), O_RDWR));
        ASSERT_TRUE(fd);
        std::size_t at = 0;
        for (std::size_t n : pieces) {
            ASSERT_EQ(::write(fd.get(), r.data() + at, n), static_cast<ssize_t>(n));
            at += n;
        }
        ASSERT_EQ(at, r.size());
        const std::vector<u8> img = flash("0000:03:00.0");
        EXPECT_TRUE(std::equal(data.begin(), data.end(), img.begin() + 0x41000))
            << "split " << ::testing::PrintToString(pieces);
    }
    // A read request in pieces: the reply follows once the header is whole.
    const std::vector<u8> rd = read_request(PART_MAC_ADDR, 500);
    unique_fd fd(::open(maintain("e0").c_str(), O_RDWR));
    ASSERT_TRUE(fd);
    ASSERT_EQ(::write(fd.get(), rd.data(), 3), 3);
    ASSERT_EQ(::write(fd.get(), rd.data() + 3, 17), 17);
    ASSERT_EQ(::lseek(fd.get(), 0, SEEK_SET), 0);
    u8 hdr[20];
    ASSERT_EQ(::read(fd.get(), hdr, 20), 20);
    EXPECT_EQ(get_le32(hdr + 12), 480u);
}

TEST_F(MaintainProtocol, EachOpenFileKeepsItsOwnReply) {
    unique_fd a(::open(maintain("e0").c_str(), O_RDWR));
    unique_fd b(::open(maintain("e0").c_str(), O_RDWR));
    ASSERT_TRUE(a && b);
    const std::vector<u8> ra = read_request(PART_MAC_ADDR, 500);
    const std::vector<u8> rb = read_request(PART_CFG, 0x1000 + 20);
    ASSERT_EQ(::write(a.get(), ra.data(), 20), 20);
    ASSERT_EQ(::write(b.get(), rb.data(), 20), 20);
    u8 hdr[24];
    ASSERT_EQ(::pread(a.get(), hdr, 24, 0), 24);
    EXPECT_EQ(get_le32(hdr + 12), 480u);
    EXPECT_EQ(get_le32(hdr + 20), 0x41000u + 0x10000000u);
    ASSERT_EQ(::pread(b.get(), hdr, 24, 0), 24);
    EXPECT_EQ(get_le32(hdr + 12), 0x1000u);
    EXPECT_EQ(get_le32(hdr + 20), 0x40000u + 0x10000000u);
}

TEST_F(MaintainProtocol, MalformedRequestsAreRefused) {
    auto with_word = [](std::vector<u8> r, int at, u32 v) {
        put_le32(r.data() + at, v);
        return r;
    };
    const std::vector<u8> good = write_request(PART_MAC_ADDR, std::vector<u8>(4, 1));
    struct case_ {
        const char* what;
        std::vector<u8> request;
    } const cases[] = {
        {"wrong magic", with_word(good, 0, 0xa6a7a8a8)},
        {"unknown command", with_word(good, 4, 2)},
        {"partition 0", with_word(good, 8, 0)},
        {"partition 12", with_word(good, 8, 12)},
        {"negative data length", with_word(good, 12, 0xFFFFFFFF)},
        {"more bytes than announced", with_word(good, 12, 3)},
        {"read offering no room for the header", read_request(PART_CFG, 19)},
    };
    const std::vector<u8> before = flash("0000:03:00.0");
    for (const auto& c : cases)
        EXPECT_EQ(send(maintain("e0"), c.request), -EINVAL) << c.what;
    EXPECT_TRUE(flash("0000:03:00.0") == before);
    // A write that does not continue where the request stands.
    unique_fd fd(::open(maintain("e0").c_str(), O_RDWR));
    ASSERT_TRUE(fd);
    EXPECT_EQ(::pwrite(fd.get(), good.data(), good.size(), 5), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST_F(MaintainProtocol, RequestLogHasOneLinePerRequest) {
    const u8 digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    exchange(maintain("e0"), read_request(PART_MAC_ADDR, 500));
    send(maintain("k0"), write_request(PCSPHY, digits));
    send(maintain("e0"), write_request(PART_MAC_ADDR, std::vector<u8>(0x1001)));
    const std::vector<std::string> lines = log_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              "iface=e0 cmd=0 part=3 req_data_bytes=0 reply_bytes=500 "
              "hdr=a9a8a7a6000000000300000000000000f4010000 payload=0 crc32=00000000 "
              "reply_data=480 result=ok");
    // cbf43926: the common CRC-32 check value of "123456789".
    EXPECT_EQ(lines[1],
              "iface=k0 cmd=1 part=4 req_data_bytes=9 reply_bytes=0 "
              "hdr=a9a8a7a601000000040000000900000000000000 payload=9 crc32=cbf43926 "
              "reply_data=0 result=ok");
    EXPECT_NE(lines[2].find(" req_data_bytes=4097 "), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find(" result=enospc"), std::string::npos) << lines[2];
}

}  // namespace
}  // namespace zsim::test
