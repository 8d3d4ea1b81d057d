// Every injected fault, seen from a client of the maintain file.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "byte_order.h"
#include "maintain.h"
#include "sim_fixture.h"
#include "flash/unique_fd.h"

namespace zsim::test {
namespace {

class Faults : public mounted_sim {
protected:
    // e0 carries the faults under test, e1 on the same card none.
    void mount_faults(const std::string& faults, const std::string& card_extra = "") {
        mount("card 0000:03:00.0 device=0x8308 flash=erased " + card_extra + "\n" +
              "iface e0 " + faults + "\niface e1\n");
    }
    std::vector<u8> user_area() const {
        const std::vector<u8> img = flash("0000:03:00.0");
        return std::vector<u8>(img.begin() + 0x41000, img.begin() + 0x41000 + 480);
    }
};

TEST_F(Faults, NoOpenRefusesTheMaintainFileOnly) {
    mount_faults("no-open");
    EXPECT_EQ(send(maintain("e0"), read_request(PART_MAC_ADDR, 500)), -EACCES);
    EXPECT_EQ(::access(path("net/e0/address").c_str(), R_OK), 0);
    EXPECT_EQ(send(maintain("e1"), read_request(PART_MAC_ADDR, 500)), 20);
}

TEST_F(Faults, LostUserWritesAreAcceptedButNotStored) {
    mount_faults("lose-user-writes=2");
    const std::vector<u8> erased(480, 0xff);
    for (u8 round = 1; round <= 3; ++round) {
        const std::vector<u8> rec(480, round);
        EXPECT_EQ(send(maintain("e0"), write_request(PART_MAC_ADDR, rec)), 500) << int(round);
        EXPECT_EQ(user_area(), round <= 2 ? erased : rec) << int(round);
    }
    // Other partitions are not affected.
    EXPECT_EQ(send(maintain("e0"), write_request(PCSPHY, std::vector<u8>(8, 0x11))), 28);
    EXPECT_EQ(flash("0000:03:00.0")[0x42000], 0x11);
    const auto lines = log_lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find(" result=lost"), std::string::npos);
    EXPECT_NE(lines[1].find(" result=lost"), std::string::npos);
    EXPECT_NE(lines[2].find(" result=ok"), std::string::npos);
}

TEST_F(Faults, WriteEioFailsWriteRequestsNotReads) {
    struct case_ {
        const char* fault;
        std::vector<long> results;  // of four write requests in a row
    } const cases[] = {
        {"write-eio=1", {-EIO, 500, 500, 500}},
        {"write-eio=3", {-EIO, -EIO, -EIO, 500}},
        {"write-eio", {-EIO, -EIO, -EIO, -EIO}},
    };
    for (const auto& c : cases) {
        mount_faults(c.fault);
        for (std::size_t i = 0; i < c.results.size(); ++i) {
            const std::vector<u8> rec(480, static_cast<u8>(0x10 + i));
            EXPECT_EQ(send(maintain("e0"), write_request(PART_MAC_ADDR, rec)), c.results[i])
                << c.fault << " request " << i;
            if (c.results[i] < 0) {
                EXPECT_NE(user_area(), rec) << "failed write stored: " << c.fault;
            }
        }
        EXPECT_EQ(exchange(maintain("e0"), read_request(PART_MAC_ADDR, 500)).size(), 500u);
        EXPECT_EQ(send(maintain("e1"), write_request(PART_MAC_ADDR, std::vector<u8>(480))), 500);
    }
}

TEST_F(Faults, ShortWritesMakeTheWriterLoop) {
    mount_faults("short-write=7");
    std::vector<u8> rec(480);
    for (std::size_t i = 0; i < rec.size(); ++i)
        rec[i] = static_cast<u8>(i);
    const std::vector<u8> req = write_request(PART_MAC_ADDR, rec);
    unique_fd fd(::open(maintain("e0").c_str(), O_RDWR));
    ASSERT_TRUE(fd);
    std::size_t done = 0;
    int calls = 0;
    while (done < req.size()) {
        const ssize_t n = ::write(fd.get(), req.data() + done, req.size() - done);
        ASSERT_GT(n, 0);
        EXPECT_LE(n, 7);
        done += static_cast<std::size_t>(n);
        ++calls;
    }
    EXPECT_EQ(calls, 72);  // 500 bytes, 7 at a time
    EXPECT_EQ(user_area(), rec);
}

TEST_F(Faults, BrokenRepliesHaveTheAskedShape) {
    struct case_ {
        const char* fault;
        int part;
        int reply_bytes;
        u32 announced;    // data_bytes in the reply header
        std::size_t len;  // bytes a reader gets
    } const cases[] = {
        {"reply-extra=16", PART_MAC_ADDR, 500, 496, 516},
        {"reply-extra=1", VERSION_INFO, 52, 33, 53},
        {"short-header=12", PART_MAC_ADDR, 500, 0, 12},
        {"short-header=0", PART_CFG, 4116, 0, 0},
        {"data-short-by=80", PART_MAC_ADDR, 500, 480, 420},
        {"data-short-by=4096", PART_CFG, 4116, 4096, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        mount_faults(c.fault);
        const std::vector<u8> reply = exchange(maintain("e0"), read_request(c.part, c.reply_bytes));
        EXPECT_EQ(reply.size(), c.len);
        if (reply.size() >= 16) {
            EXPECT_EQ(word_at(reply, 12), c.announced);
        }
        // The neighbour interface answers as usual.
        const std::vector<u8> ok = exchange(maintain("e1"), read_request(c.part, c.reply_bytes));
        EXPECT_EQ(ok.size(), static_cast<std::size_t>(c.part == VERSION_INFO ? 40 : c.reply_bytes));
    }
}

TEST_F(Faults, SlowWritesTakeTheirTime) {
    mount_faults("write-delay-ms=300");
    using clock = std::chrono::steady_clock;
    auto t0 = clock::now();
    EXPECT_EQ(send(maintain("e0"), write_request(PART_MAC_ADDR, std::vector<u8>(480))), 500);
    EXPECT_GE(clock::now() - t0, std::chrono::milliseconds(300));
    t0 = clock::now();
    exchange(maintain("e0"), read_request(PART_MAC_ADDR, 500));
    EXPECT_LT(clock::now() - t0, std::chrono::milliseconds(250)) << "reads are not delayed";
}

TEST_F(Faults, VersionRecordPerCard) {
    struct case_ {
        const char* card_extra;
        u32 data_bytes;
        u32 magic;
    } const cases[] = {
        {"fw=1.2.3.4 pxe=5.6.7", 20, 0xA7A8},
        {"fw=1.2.3.4 pxe=5.6.7 version=bad-magic", 20, 0xA7A7},
        {"fw=1.2.3.4 pxe=5.6.7 version=missing", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.card_extra);
        mount_faults("", c.card_extra);
        const std::vector<u8> reply = exchange(maintain("e0"), read_request(VERSION_INFO, 52));
        ASSERT_EQ(reply.size(), 20 + c.data_bytes);
        EXPECT_EQ(word_at(reply, 12), c.data_bytes);
        if (c.data_bytes == 0)
            continue;
        EXPECT_EQ(word_at(reply, 20), 0x01020304u);  // cur_fw_version: 1.2.3.4
        EXPECT_EQ(word_at(reply, 24), 0x00070605u);  // cur_pxe_version: 5.6.7
        EXPECT_EQ(word_at(reply, 28), c.magic);
    }
}

}  // namespace
}  // namespace zsim::test
