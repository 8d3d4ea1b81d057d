// Shared test support: a private mount namespace for the whole test binary,
// a simulated tree mounted per test, and raw maintain exchanges.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <initializer_list>

#include "base/byte_order.h"
#include "base/unique_fd.h"
#include "flash_store.h"
#include "maintain/maintain.h"
#include "process_run.h"
#include "test_bytes.h"
#include "request_log.h"
#include "sim_mount.h"

namespace zsim::test {

using test_support::temp_dir;

// Fails the current test (never skips) when FUSE tests cannot run here. The
// first call moves this process into a mount namespace of its own (it has no
// threads yet), so a crashed test leaves nothing mounted behind.
inline void require_fuse() {
    static const std::string problem = []() -> std::string {
        if (::geteuid() != 0)
            return "these tests need root (they mount FUSE file systems)";
        if (::access("/dev/fuse", R_OK | W_OK) != 0)
            return "these tests need /dev/fuse: " + std::string(std::strerror(errno));
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return "cannot make a private mount namespace: " + std::string(std::strerror(errno));
        return "";
    }();
    ASSERT_EQ(problem, "") << "FUSE tests cannot run";
}

// Every 32-bit word holds its own offset plus `tag`, so any slice shows
// where it came from.
inline std::vector<u8> addressed_image(std::size_t size, u32 tag) {
    std::vector<u8> img(size);
    for (std::size_t off = 0; off + 4 <= size; off += 4)
        put_le32(img.data() + off, static_cast<u32>(off) + tag);
    return img;
}

// A simulated tree mounted per test.
class mounted_sim : public ::testing::Test {
protected:
    void mount(const std::string& config_text) {
        require_fuse();
        if (HasFatalFailure())
            return;
        sim_.reset();
        sim_ = std::make_unique<sim_mount>(parse_config(config_text, "test config"), state_.path(),
                                           mnt_.path());
    }
    void unmount() { sim_.reset(); }
    std::string path(const std::string& rel) const { return mnt_.path() + "/" + rel; }
    std::string maintain(const std::string& iface) const { return path("net/" + iface + "/maintain"); }
    std::vector<u8> flash(const std::string& card) const {
        return test_support::read_file_bytes(flash_file_path(state_.path(), card));
    }
    std::vector<std::string> log_lines() const {
        std::ifstream in(request_log_path(state_.path()));
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        return lines;
    }

    temp_dir state_, mnt_;
    std::unique_ptr<sim_mount> sim_;  // last: unmounted before the folders go
};

constexpr char STD[] = "0000:03:00.0", KV3[] = "0000:05:00.0";

// A standard card (e0) and a KV3 card (k0), preloaded with images in which
// every word tells its flash offset.
class maintain_sim : public mounted_sim {
protected:
    void SetUp() override {
        const std::pair<std::string, std::vector<u8>> images[] = {
            {state_.path() + "/std.img", addressed_image(0xCA000, 0x10000000)},
            {state_.path() + "/kv3.img", addressed_image(0x80000, 0x30000000)}};
        for (const auto& [file, img] : images)
            test_support::write_file_bytes(file, img);
        mount(std::string("card ") + STD + " fw=1.2.3.4 pxe=5.6.7 flash=file:" + images[0].first +
              "\niface e0\ncard " + KV3 + " device=0x8208 fw=1.2.3.4 pxe=5.6.7 version=bad-magic "
              "flash=file:" + images[1].first + "\niface k0\n");
    }
};

using test_support::le_words;

inline std::vector<u8> read_request(int partion, int reply_bytes) {
    return le_words({MAINTAIN_MAGIC, MT_READ_FLASH, static_cast<u32>(partion), 0,
                     static_cast<u32>(reply_bytes)});
}

inline std::vector<u8> write_request(int partion, const std::vector<u8>& data) {
    std::vector<u8> r = le_words({MAINTAIN_MAGIC, MT_WRITE_FLASH, static_cast<u32>(partion),
                                  static_cast<u32>(data.size()), 0});
    r.insert(r.end(), data.begin(), data.end());
    return r;
}

// Opens `path` and writes `request` in one call: its result, or -errno.
inline long send(const std::string& path, const std::vector<u8>& request) {
    unique_fd fd(::open(path.c_str(), O_RDWR));
    const ssize_t n = fd ? ::write(fd.get(), request.data(), request.size()) : -1;
    return n < 0 ? -errno : n;
}

// Writes the request in one call, seeks to 0 and reads until end of data.
// Failures fail the test.
inline std::vector<u8> exchange(const std::string& path, const std::vector<u8>& request) {
    std::vector<u8> reply;
    unique_fd fd(::open(path.c_str(), O_RDWR));
    EXPECT_TRUE(fd) << path << ": " << std::strerror(errno);
    EXPECT_EQ(::write(fd.get(), request.data(), request.size()), static_cast<ssize_t>(request.size()))
        << std::strerror(errno);
    EXPECT_EQ(::lseek(fd.get(), 0, SEEK_SET), 0);
    u8 buf[4096];
    ssize_t n;
    while ((n = ::read(fd.get(), buf, sizeof buf)) > 0)
        reply.insert(reply.end(), buf, buf + n);
    EXPECT_EQ(n, 0) << std::strerror(errno);
    return reply;
}

}  // namespace zsim::test
