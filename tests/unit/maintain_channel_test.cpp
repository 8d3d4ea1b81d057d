#include "flash/maintain_channel.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "exit_request.h"
#include "flash/maintain_lock.h"
#include "flash/unique_fd.h"

namespace {

using bytes = std::vector<u8>;

bytes le32(u32 v) { return {u8(v), u8(v >> 8), u8(v >> 16), u8(v >> 24)}; }

bytes cat(std::initializer_list<bytes> parts) {
    bytes out;
    for (const bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

template <typename F>
int exit_status_of(F fn) {
    try {
        fn();
    } catch (const exit_request& e) {
        return e.status;
    }
    ADD_FAILURE() << "the process was not ended";
    return 0;
}

const bytes MAGIC = {0xa9, 0xa8, 0xa7, 0xa6};

TEST(MaintainRequest, Encoding) {
    const struct {
        int partion;
        bytes want;
    } reads[] = {
        {PART_MAC_ADDR, {0xa9, 0xa8, 0xa7, 0xa6, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0xf4, 0x01, 0, 0}},
        {VERSION_INFO, cat({MAGIC, le32(0), le32(10), le32(0), le32(52)})},
        {PCSPHY, cat({MAGIC, le32(0), le32(4), le32(0), le32(4116)})},
        {7, cat({MAGIC, le32(0), le32(7), le32(0), le32(4116)})},
    };
    for (const auto& c : reads) {
        const auto req = encode_read_req(c.partion);
        EXPECT_EQ(bytes(req.begin(), req.end()), c.want) << "partition " << c.partion;
    }
    bytes data(480);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<u8>(i * 13);
    EXPECT_EQ(encode_write_req(PART_MAC_ADDR, data), cat({MAGIC, le32(1), le32(3), le32(480), le32(0), data}));
}

TEST(ReadReply, ChecksTheReplyBeforeUsingIt) {
    const auto header = [](int data_bytes) {
        return cat({le32(MAINTAIN_REPLY_MAGIC), le32(0), le32(3), le32(static_cast<u32>(data_bytes)), le32(0)});
    };
    bytes rec(480);
    for (std::size_t i = 0; i < rec.size(); ++i)
        rec[i] = static_cast<u8>(i + 1);
    const struct {
        int partion;
        bytes reply;
        int want;
        const char* out;
    } cases[] = {
        {PART_MAC_ADDR, cat({header(480), rec}), 480, ""},
        {PART_MAC_ADDR, header(0), 0, ""},
        {VERSION_INFO, cat({header(32), bytes(32, 0x77)}), 32, ""},
        {PART_MAC_ADDR, {}, -5, "invalid reply: header 0 bytes\n"},
        {PART_MAC_ADDR, bytes(12, 0), -5, "invalid reply: header 12 bytes\n"},
        {PART_MAC_ADDR, cat({header(481), rec, {0}}), -5, "invalid reply: data_bytes:481 max:480\n"},
        {PART_MAC_ADDR, header(-1), -5, "invalid reply: data_bytes:-1 max:480\n"},
        {PART_MAC_ADDR, cat({header(480), bytes(100, 1)}), -5, "invalid reply: data 100 of 480 bytes\n"},
    };
    for (const auto& c : cases) {
        int p[2];
        ASSERT_EQ(::pipe(p), 0);
        const unique_fd rd(p[0]);
        ASSERT_EQ(::write(p[1], c.reply.data(), c.reply.size()), static_cast<ssize_t>(c.reply.size()));
        ::close(p[1]);
        // Guard bytes behind the reply buffer must stay untouched.
        bytes buf(MAINTAIN_HDR_SZ + partion_max_sz(c.partion) + 8, 0);
        testing::internal::CaptureStdout();
        EXPECT_EQ(read_reply(rd.get(), c.partion, std::span(buf).first(buf.size() - 8)), c.want) << c.out;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
        if (c.want > 0) {
            EXPECT_EQ(bytes(buf.begin(), buf.begin() + 20 + c.want), c.reply);
        }
        EXPECT_EQ(bytes(buf.end() - 8, buf.end()), bytes(8, 0)) << c.out;
    }
    EXPECT_EQ(exit_status_of([] {
                  bytes buf(MAINTAIN_HDR_SZ + 480);
                  read_reply(-1, PART_MAC_ADDR, buf);
              }),
              -1);
}

// Asks for the lock through its own open file description, which conflicts
// with this process's record locks. It stays open for the whole test: closing
// any descriptor of the file would drop those locks and hide a missed unlock.
class lock_probe {
public:
    explicit lock_probe(const std::string& f) : fd_(::open(f.c_str(), O_RDWR)) {}
    bool take() { return set(F_WRLCK); }
    void drop() { set(F_UNLCK); }
    bool lock_is_free() {
        const bool free = take();
        if (free)
            drop();
        return free;
    }

private:
    bool set(short type) {
        struct flock lk {};
        lk.l_type = type;
        lk.l_whence = SEEK_SET;
        return ::fcntl(fd_.get(), F_OFD_SETLK, &lk) == 0;
    }
    unique_fd fd_;
};

double thread_cpu_seconds() {
    struct rusage ru {};
    ::getrusage(RUSAGE_THREAD, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

class MaintainFile : public testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = testing::TempDir() + "kv7_channel_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        path_ = (dir_ / "maintain").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Creates the stand-in maintain file with `content` and opens it.
    unique_fd open_file(const bytes& content) {
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
        return unique_fd(::open(path_.c_str(), O_RDWR));
    }
    bytes content() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::filesystem::path dir_;
    std::string path_;
};

TEST_F(MaintainFile, LockIsHeldUntilUnlocked) {
    const unique_fd fd = open_file({});
    lock_probe probe(path_);
    lock_maintain_file(fd.get(), lock_wait::no);
    EXPECT_FALSE(probe.lock_is_free());
    unlock_maintain_file(fd.get());
    EXPECT_TRUE(probe.lock_is_free());

    ASSERT_TRUE(probe.take());
    const auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStdout();
    EXPECT_EQ(exit_status_of([&] { lock_maintain_file(fd.get(), lock_wait::no, 1); }), 1);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "get lock timeout \n");
    // A limit of 1 s on a clock of whole seconds: between 1 and 2 s.
    EXPECT_GE(waited, std::chrono::seconds(1));
    EXPECT_LT(waited, std::chrono::seconds(3));

    // The waiting form sleeps in the kernel rather than spinning.
    const auto wait_start = std::chrono::steady_clock::now();
    const double cpu_start = thread_cpu_seconds();
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        probe.drop();
    });
    lock_maintain_file(fd.get(), lock_wait::yes);
    EXPECT_GE(std::chrono::steady_clock::now() - wait_start, std::chrono::milliseconds(250));
    EXPECT_LT(thread_cpu_seconds() - cpu_start, 0.1);
    releaser.join();

    testing::internal::CaptureStderr();
    EXPECT_EQ(exit_status_of([] { unlock_maintain_file(-1); }), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "fcntl: Bad file descriptor\n");
}

TEST_F(MaintainFile, WriteSendsTheRequestFromTheStartAndUnlocks) {
    const unique_fd fd = open_file(bytes(600, 0x55));
    lock_probe probe(path_);
    ASSERT_EQ(::lseek(fd.get(), 123, SEEK_SET), 123);
    const bytes data(480, 0x3c);
    testing::internal::CaptureStdout();
    EXPECT_EQ(maintain_write_exchange(fd.get(), PART_MAC_ADDR, data), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " Done\n");
    EXPECT_TRUE(probe.lock_is_free());
    EXPECT_EQ(content(), cat({encode_write_req(PART_MAC_ADDR, data), bytes(100, 0x55)}));
}

// A plain file answers a read request with the request itself, whose
// data_bytes field is 0: a reply without data, so nothing is delivered.
TEST_F(MaintainFile, ReadOfAReplyWithoutDataDeliversNothing) {
    const std::string out = (dir_ / "dump.bin").string();
    const unique_fd fd = open_file(bytes(64, 0x55));
    lock_probe probe(path_);
    bytes buf(480, 0xee);
    testing::internal::CaptureStdout();
    EXPECT_EQ(maintain_read_exchange(fd.get(), PART_MAC_ADDR, out.c_str(), buf), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(probe.lock_is_free());
    const auto req = encode_read_req(PART_MAC_ADDR);
    EXPECT_EQ(content(), cat({bytes(req.begin(), req.end()), bytes(44, 0x55)}));
    EXPECT_EQ(buf, bytes(480, 0xee));
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(MaintainExchange, FailedSeek) {
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    const unique_fd a(sv[0]), b(sv[1]);
    testing::internal::CaptureStderr();
    EXPECT_EQ(maintain_write_exchange(a.get(), PART_MAC_ADDR, bytes(480)), -5);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "lsseek\n: Illegal seek\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(exit_status_of([&] { maintain_read_exchange(a.get(), VERSION_INFO, nullptr, {}); }), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "lsseek\n: Illegal seek\n");
    bytes sent(32);
    ASSERT_EQ(::read(b.get(), sent.data(), sent.size()), 20) << "the read request went out first";
}

TEST(MaintainChannel, ChecksAndRoutes) {
    // An interface no machine has, so its maintain file cannot be opened.
    const std::string absent_path = "/sys/class/net/kv7absent0/maintain";
    eth_dev fake, absent;
    std::strcpy(fake.name, "fake");
    std::strcpy(absent.name, "kv7absent0");
    bytes image(0xca000, 0);
    for (std::size_t i = 0; i < 480; ++i)
        image[0x41000 + i] = static_cast<u8>(i ^ 0x5a);
    const bytes record(image.begin() + 0x41000, image.begin() + 0x41000 + 480);
    enum { READ, WRITE };
    const struct {
        int op;
        bool trace2;
        const eth_dev* dev;
        int partion;
        int want;
        std::string out;
    } cases[] = {
        {WRITE, false, nullptr, PART_MAC_ADDR, -22, "eth_dev is null!\n"},
        {WRITE, true, &fake, PART_MAC_ADDR, 0, ""},
        {WRITE, false, &absent, 0, -22, ""},
        {WRITE, false, &absent, 12, -22, ""},
        {WRITE, false, &absent, PART_MAX, -5, "writing flash....faild to open:" + absent_path + "\n"},
        {WRITE, true, &absent, PART_MAC_ADDR, -5,
         "writing flash....[kv7absent0][" + absent_path + "]\nfaild to open:" + absent_path + "\n"},
        {READ, false, &fake, 0, -22, ""},
        {READ, false, &fake, 12, -22, ""},
        {READ, false, nullptr, PART_MAC_ADDR, -22, ""},
        {READ, false, &fake, PART_MAC_ADDR, 480, ""},
        {READ, false, &absent, PART_MAC_ADDR, -5, "faild to open:" + absent_path + "\n"},
    };
    for (const auto& c : cases) {
        maintain_channel ch(c.trace2);
        ch.use_file_eeprom(&fake, image);
        bytes buf(480, 0xee);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.op == READ ? ch.read_flash_partion(c.dev, c.partion, nullptr, buf)
                               : ch.write_flash_partion(c.dev, c.partion, bytes(480, 0x11)),
                  c.want)
            << c.out;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.want == -5 ? "error: No such file or directory\n" : "");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
        EXPECT_EQ(buf, c.op == READ && c.want > 0 ? record : bytes(480, 0xee)) << c.out;
    }
}

}  // namespace
