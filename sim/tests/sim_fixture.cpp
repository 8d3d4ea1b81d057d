#include "sim_fixture.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "byte_order.h"
#include "flash_store.h"
#include "maintain.h"
#include "request_log.h"
#include "flash/unique_fd.h"

namespace zsim::test {

namespace {

std::string fuse_problem = "not checked";

// Mounts made by the tests live in a namespace of this process only, so a
// crashed test leaves nothing mounted behind. Must run before any thread.
class private_mounts : public ::testing::Environment {
public:
    void SetUp() override {
        if (::geteuid() != 0) {
            fuse_problem = "these tests need root (they mount FUSE file systems)";
        } else if (::access("/dev/fuse", R_OK | W_OK) != 0) {
            fuse_problem = "these tests need /dev/fuse: " + std::string(std::strerror(errno));
        } else if (::unshare(CLONE_NEWNS) != 0 ||
                   ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            fuse_problem = "cannot make a private mount namespace: " +
                           std::string(std::strerror(errno));
        } else {
            fuse_problem.clear();
        }
    }
};

[[maybe_unused]] ::testing::Environment* const env =
    ::testing::AddGlobalTestEnvironment(new private_mounts);

}  // namespace

void require_fuse() {
    ASSERT_TRUE(fuse_problem.empty()) << "FUSE tests cannot run: " << fuse_problem;
}

void mounted_sim::mount(const std::string& config_text, const std::string& state) {
    require_fuse();
    if (HasFatalFailure())
        return;
    sim_.reset();
    sim_ = std::make_unique<sim_mount>(parse_config(config_text, "test config"),
                                       state.empty() ? state_->path() : state, mnt_->path());
}

std::vector<u8> mounted_sim::flash(const std::string& card_addr) const {
    return read_whole(flash_file_path(state_->path(), card_addr));
}

std::vector<std::string> mounted_sim::log_lines() const {
    std::ifstream in(request_log_path(state_->path()));
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

std::vector<u8> read_request(int partion, int reply_bytes) {
    std::vector<u8> r(MAINTAIN_HDR_SZ);
    put_le32(r.data(), MAINTAIN_MAGIC);
    put_le32(r.data() + 4, MT_READ_FLASH);
    put_le32(r.data() + 8, static_cast<u32>(partion));
    put_le32(r.data() + 12, 0);
    put_le32(r.data() + 16, static_cast<u32>(reply_bytes));
    return r;
}

std::vector<u8> write_request(int partion, std::span<const u8> data) {
    std::vector<u8> r(MAINTAIN_HDR_SZ + data.size());
    put_le32(r.data(), MAINTAIN_MAGIC);
    put_le32(r.data() + 4, MT_WRITE_FLASH);
    put_le32(r.data() + 8, static_cast<u32>(partion));
    put_le32(r.data() + 12, static_cast<u32>(data.size()));
    put_le32(r.data() + 16, 0);
    std::copy(data.begin(), data.end(), r.begin() + MAINTAIN_HDR_SZ);
    return r;
}

std::vector<u8> exchange(const std::string& path, const std::vector<u8>& request) {
    std::vector<u8> reply;
    unique_fd fd(::open(path.c_str(), O_RDWR));
    EXPECT_TRUE(fd) << path << ": " << std::strerror(errno);
    if (!fd)
        return reply;
    EXPECT_EQ(::write(fd.get(), request.data(), request.size()),
              static_cast<ssize_t>(request.size()))
        << std::strerror(errno);
    EXPECT_EQ(::lseek(fd.get(), 0, SEEK_SET), 0);
    u8 buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        EXPECT_GE(n, 0) << std::strerror(errno);
        if (n <= 0)
            break;
        reply.insert(reply.end(), buf, buf + n);
    }
    return reply;
}

long send(const std::string& path, const std::vector<u8>& request) {
    unique_fd fd(::open(path.c_str(), O_RDWR));
    if (!fd)
        return -errno;
    const ssize_t n = ::write(fd.get(), request.data(), request.size());
    return n < 0 ? -errno : n;
}

u32 word_at(const std::vector<u8>& bytes, std::size_t off) {
    return off + 4 <= bytes.size() ? get_le32(bytes.data() + off) : 0xDEADBEEF;
}

std::vector<u8> read_whole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<u8>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_whole(const std::string& path, const std::vector<u8>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<u8> addressed_image(std::size_t size, u32 tag) {
    std::vector<u8> img(size);
    for (std::size_t off = 0; off + 4 <= size; off += 4)
        put_le32(img.data() + off, static_cast<u32>(off) + tag);
    return img;
}

}  // namespace zsim::test
