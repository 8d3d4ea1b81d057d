// Every injected fault, seen from a client of the maintain file.
#include <chrono>

#include "sim_fixture.h"

namespace zsim::test {
namespace {

using Faults = maintain_sim;

std::vector<u8> user_area(const std::vector<u8>& flash) {
    return std::vector<u8>(flash.begin() + 0x41000, flash.begin() + 0x41000 + 480);
}

TEST_F(Faults, NoOpenRefusesTheMaintainFileOnly) {
    EXPECT_EQ(send(maintain("closed"), read_request(PART_MAC_ADDR, 500)), -EACCES);
    EXPECT_EQ(::access(path("net/closed/address").c_str(), R_OK), 0);
}

TEST_F(Faults, WriteFaultsHitTheirCountOfRequests) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        // results of write requests in a row, as logged
        {"m0", {"ok"}},
        {"lossy", {"lost", "lost", "ok"}},
        {"eio1", {"eio", "ok"}},
        {"eio", {"eio", "eio", "eio"}},
    };
    u8 fill = 0;
    for (const auto& [iface, results] : cases) {
        for (const std::string& result : results) {
            const std::vector<u8> before = user_area(flash(PLAIN)), rec(480, ++fill);
            const std::string what = std::string(iface) + " write " + std::to_string(fill);
            EXPECT_EQ(send(maintain(iface), write_request(PART_MAC_ADDR, rec)),
                      result == "eio" ? -EIO : 500) << what;
            EXPECT_EQ(user_area(flash(PLAIN)), result == "ok" ? rec : before) << what;
            const std::vector<std::string> lines = log_lines();
            ASSERT_EQ(lines.size(), fill) << what;
            EXPECT_TRUE(lines.back().starts_with("iface=" + std::string(iface) + " ") &&
                        lines.back().ends_with(" result=" + result)) << lines.back();
        }
    }
    // Reads and other partitions are not affected.
    EXPECT_EQ(exchange(maintain("eio"), read_request(PART_MAC_ADDR, 500)).size(), 500u);
    EXPECT_EQ(send(maintain("lossy"), write_request(PCSPHY, std::vector<u8>(8, 0x11))), 28);
    EXPECT_EQ(flash(PLAIN)[0x42000], 0x11);
}

TEST_F(Faults, LoseWritesDropsAWriteToAnyPartitionThenStores) {
    // lossall loses one write, whichever partition it goes to; the next is stored.
    const std::pair<int, std::string> writes[] = {{PCSPHY, "lost"}, {IPXE, "ok"}};
    const u32 at[] = {0x42000, 0x4A000};
    u8 fill = 0x40;
    for (std::size_t i = 0; i < std::size(writes); ++i) {
        const auto& [part, result] = writes[i];
        const u8 before = flash(PLAIN)[at[i]];
        EXPECT_EQ(send(maintain("lossall"), write_request(part, std::vector<u8>(16, ++fill))), 36);
        EXPECT_EQ(flash(PLAIN)[at[i]], result == "ok" ? fill : before) << part;
        EXPECT_TRUE(log_lines().back().ends_with(" result=" + result)) << log_lines().back();
    }
}

TEST_F(Faults, ShortWritesMakeTheWriterLoop) {
    const std::vector<u8> rec = addressed_image(480, 0x01000000);
    const std::vector<u8> req = write_request(PART_MAC_ADDR, rec);
    unique_fd fd(::open(maintain("short").c_str(), O_RDWR));
    std::size_t done = 0;
    int calls = 0;
    for (; done < req.size(); ++calls) {
        const ssize_t n = ::write(fd.get(), req.data() + done, req.size() - done);
        ASSERT_GT(n, 0) << "after " << done << " bytes";
        EXPECT_LE(n, 7);
        done += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(calls, 72);  // 500 bytes, 7 at a time
    EXPECT_EQ(user_area(flash(PLAIN)), rec);
}

TEST_F(Faults, BrokenRepliesHaveTheAskedShape) {
    struct case_ {
        const char* iface;
        u32 announced;    // data_bytes in the reply header
        std::size_t len;  // bytes a reader gets
    } const cases[] = {
        {"extra", 496, 516},  // 500 - 20 + 16, all sent
        {"header", 0, 12},    // only the first 12 header bytes
        {"data", 480, 420},   // 80 data bytes short
        {"m0", 480, 500},
    };
    for (const auto& c : cases) {
        const std::vector<u8> reply = exchange(maintain(c.iface), read_request(PART_MAC_ADDR, 500));
        EXPECT_EQ(reply.size(), c.len) << c.iface;
        if (reply.size() >= 16) {
            EXPECT_EQ(word_at(reply, 12), c.announced) << c.iface;
        }
    }
}

TEST_F(Faults, ReadsAfterTheirCountGetEmptyReplies) {
    // Two whole replies, then nothing at all; writes still go through.
    for (const std::size_t want : {500u, 500u, 0u, 0u})
        EXPECT_EQ(exchange(maintain("failing"), read_request(PART_MAC_ADDR, 500)).size(), want);
    EXPECT_EQ(send(maintain("failing"), write_request(PCSPHY, std::vector<u8>(8, 0x22))), 28);
}

}  // namespace
}  // namespace zsim::test
