#include "base/file_io.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/unique_fd.h"
#include "test_support.h"

namespace {

using namespace test_support;

// A datagram socket delivers at most one packet per read and drops what the
// read had no room for, so the bytes that arrive show each request's size.
TEST(ReadFileFull, ReadsInRequestsOfAtMost4096Bytes) {
    bytes want(4096, 'a');
    want.insert(want.end(), 4096, 'b');
    want.insert(want.end(), 1808, 'c');
    const struct { std::vector<int> packets; int ask; bytes want; } cases[] = {
        {{5000, 5000, 5000}, 10000, want},
        {{4096, 4096, 1808}, 12000, want},  // the fourth request gets 0 bytes
        {{}, 10, {}},
    };
    for (const auto& c : cases) {
        int sv[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sv), 0);
        const unique_fd rd(sv[0]), wr(sv[1]);
        for (std::size_t i = 0; i < c.packets.size(); ++i) {
            const bytes packet(c.packets[i], static_cast<u8>('a' + i));
            ASSERT_EQ(::write(wr.get(), packet.data(), packet.size()), c.packets[i]);
        }
        ::shutdown(wr.get(), SHUT_WR);
        bytes buf(c.ask, 0);
        ASSERT_EQ(read_file_full(rd.get(), buf.data(), c.ask), static_cast<int>(c.want.size())) << c.ask;
        buf.resize(c.want.size());
        EXPECT_EQ(buf, c.want) << "ask " << c.ask;
    }
}

TEST(WriteToFile, CreatesWith0644TruncatesAndReportsFailure) {
    const temp_dir tmp;
    const std::string f = tmp / "dump.bin";
    const mode_t old_mask = ::umask(0);
    EXPECT_EQ(write_to_file(bytes(300, 'x'), f.c_str()), 300);
    EXPECT_EQ(write_to_file(to_bytes("abc"), f.c_str()), 3);
    ::umask(old_mask);
    EXPECT_EQ(read_file_bytes(f), to_bytes("abc"));
    EXPECT_EQ(static_cast<int>(std::filesystem::status(f).permissions()), 0644);

    testing::internal::CaptureStderr();
    EXPECT_EQ(write_to_file(bytes(4), (tmp / "none/dump.bin").c_str()), -5);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "save faild!\n: No such file or directory\n");
}

}  // namespace
