#include "flash/file_io.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "flash/unique_fd.h"

namespace {

using bytes = std::vector<u8>;
struct run {
    int size;
    u8 fill;
};

bytes runs(std::initializer_list<run> rs) {
    bytes out;
    for (const run& r : rs)
        out.insert(out.end(), r.size, r.fill);
    return out;
}

// A datagram socket delivers at most one packet per read and drops what the
// read had no room for, so the bytes that arrive show each request's size.
TEST(ReadFileFull, ReadsInRequestsOfAtMost4096Bytes) {
    const struct {
        std::vector<run> packets;
        int ask;
        bytes want;
    } cases[] = {
        {{{5000, 'a'}, {5000, 'b'}, {5000, 'c'}}, 10000, runs({{4096, 'a'}, {4096, 'b'}, {1808, 'c'}})},
        {{{4096, 'a'}, {4096, 'b'}, {1808, 'c'}}, 12000, runs({{4096, 'a'}, {4096, 'b'}, {1808, 'c'}})},
        {{}, 10, {}},
    };
    for (const auto& c : cases) {
        int sv[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sv), 0);
        const unique_fd rd(sv[0]), wr(sv[1]);
        for (const run& p : c.packets)
            ASSERT_EQ(::write(wr.get(), runs({p}).data(), p.size), p.size);
        ::shutdown(wr.get(), SHUT_WR);
        bytes buf(c.ask, 0);
        ASSERT_EQ(read_file_full(rd.get(), buf.data(), c.ask), static_cast<int>(c.want.size())) << c.ask;
        buf.resize(c.want.size());
        EXPECT_EQ(buf, c.want) << "ask " << c.ask;
    }
}

TEST(FileIo, FailingRequestsAreMinus5) {
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    const unique_fd rd(p[0]), wr(p[1]);
    u8 buf[8] = {};
    EXPECT_EQ(read_file_full(wr.get(), buf, sizeof(buf)), -5);
    EXPECT_EQ(write_file_full(rd.get(), buf, sizeof(buf)), -5);
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
    bytes data(10000), got;
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<u8>(i * 7 % 251);
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
    std::string dir = testing::TempDir() + "kv7_file_io_XXXXXX";
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const std::string f = dir + "/dump.bin";
    const mode_t old_mask = ::umask(0);
    EXPECT_EQ(write_to_file(bytes(300, 'x'), f.c_str()), 300);
    EXPECT_EQ(write_to_file(bytes{'a', 'b', 'c'}, f.c_str()), 3);
    ::umask(old_mask);
    std::ifstream in(f, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "abc");
    struct stat st {};
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    testing::internal::CaptureStderr();
    EXPECT_EQ(write_to_file(bytes(4), (dir + "/none/dump.bin").c_str()), -5);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "save faild!\n: No such file or directory\n");
    std::filesystem::remove_all(dir);
}

}  // namespace
