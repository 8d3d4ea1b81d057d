// Shared test support: a private mount namespace for the whole test binary,
// a simulated tree mounted per test, and raw maintain exchanges.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "process_run.h"
#include "sim_config.h"
#include "sim_mount.h"
#include "types.h"

namespace zsim::test {

using test_support::temp_dir;

// Mounts a simulated tree for each test. Fails the test (never skips) when
// root or /dev/fuse is missing.
class mounted_sim : public ::testing::Test {
protected:
    // Mounts `config_text` with state in `state` (default: the fixture's).
    void mount(const std::string& config_text, const std::string& state = "");
    void unmount() { sim_.reset(); }
    std::string path(const std::string& rel) const { return mnt_->path() + "/" + rel; }
    std::string maintain(const std::string& iface) const { return path("net/" + iface + "/maintain"); }
    std::vector<u8> flash(const std::string& card_addr) const;
    std::vector<std::string> log_lines() const;

    std::unique_ptr<temp_dir> state_ = std::make_unique<temp_dir>();
    std::unique_ptr<temp_dir> mnt_ = std::make_unique<temp_dir>();
    std::unique_ptr<sim_mount> sim_;
};

// Fails the current test with the reason when FUSE tests cannot run here.
void require_fuse();

std::vector<u8> read_request(int partion, int reply_bytes);
std::vector<u8> write_request(int partion, std::span<const u8> data);

// Opens `path`, writes the request in one call, seeks to 0 and reads until
// end of data. Read failures fail the test.
std::vector<u8> exchange(const std::string& path, const std::vector<u8>& request);
// Opens `path` and writes `request` in one call: its result, or -errno.
long send(const std::string& path, const std::vector<u8>& request);

u32 word_at(const std::vector<u8>& bytes, std::size_t off);
std::vector<u8> read_whole(const std::string& path);
void write_whole(const std::string& path, const std::vector<u8>& bytes);
// A flash image whose every 32-bit word holds its own offset plus `tag`, so
// any slice shows where it came from.
std::vector<u8> addressed_image(std::size_t size, u32 tag = 0);

}  // namespace zsim::test
