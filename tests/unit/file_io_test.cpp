#include "flash/file_io.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "unique_fd.h"
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

std::atomic<int> interrupts{0};
void count_interrupt(int) { ++interrupts; }

// Once the 4096-byte pipe is full the writer is parked inside write(); a
// signal then makes that write return short, and the loop must go on from
// where it stopped.
TEST(WriteFileFull, GoesOnAfterAPartialWrite) {
    struct sigaction sa {}, old {};
    sa.sa_handler = count_interrupt;  // no SA_RESTART
    ASSERT_EQ(::sigaction(SIGUSR1, &sa, &old), 0);
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    const unique_fd rd(p[0]), wr(p[1]);
    ASSERT_EQ(::fcntl(wr.get(), F_SETPIPE_SZ, 4096), 4096);
    const bytes data = patterned(10000);
    bytes got;
    interrupts = 0;
    const pthread_t writer = ::pthread_self();
    std::thread reader([&] {
        for (int queued = 0; queued < 4096; std::this_thread::sleep_for(std::chrono::milliseconds(1)))
            ::ioctl(rd.get(), FIONREAD, &queued);
        ::pthread_kill(writer, SIGUSR1);
        u8 chunk[1024];
        for (ssize_t n; got.size() < data.size() && (n = ::read(rd.get(), chunk, sizeof(chunk))) > 0;)
            got.insert(got.end(), chunk, chunk + n);
    });
    EXPECT_EQ(write_file_full(wr.get(), data.data(), static_cast<int>(data.size())), 10000);
    reader.join();
    ::sigaction(SIGUSR1, &old, nullptr);
    EXPECT_EQ(interrupts, 1);
    EXPECT_EQ(got, data);
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
