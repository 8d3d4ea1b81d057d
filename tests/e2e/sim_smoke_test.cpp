// The harness itself: commands run inside the simulator see the built-in
// controllers, and what the simulator records comes back to the test.
#include <gtest/gtest.h>

#include <chrono>

#include "byte_order.h"
#include "cfg.h"
#include "image/flash_layout.h"
#include "maintain.h"
#include "sim_harness.h"

namespace e2e {
namespace {

TEST(SimHarness, CommandsSeeTheBuiltInControllers) {
    const sim_run r = run_in_sim({"sh", "-c",
                                  "ls /sys/bus/pci/drivers/zelnic | grep :;"
                                  " cat /sys/class/net/enp3s0f2/port_idx; exit 5"});
    ASSERT_FALSE(r.timed_out) << r.err;
    EXPECT_EQ(r.status, 5) << r.err;  // the command's status passes through
    EXPECT_EQ(r.out, "0000:03:00.0\n0000:04:00.0\n0000:04:00.1\n0000:05:00.0\n2\n");

    // Each card's flash starts factory-fresh: a valid user record where its
    // layout puts it (KV3 for the 1-port card).
    struct card {
        const char* addr;
        std::size_t size;
        std::size_t ucfg;
    } const cards[] = {
        {"0000:03:00.0", FW_BIN_MAX_SZ, UCFG_MAC_SN_PARTION},
        {"0000:04:00.0", FW_BIN_MAX_SZ, UCFG_MAC_SN_PARTION},
        {"0000:05:00.0", KV3_FW_BIN_MAX_SZ, KV3_UCFG_MAC_SN_PARTION},
    };
    for (const auto& c : cards) {
        const std::vector<u8> img = read_flash_image(r.state_dir, c.addr);
        ASSERT_EQ(img.size(), c.size) << c.addr;
        EXPECT_EQ(get_le32(img.data() + c.ucfg + MAC_SN_PRE_LEN),
                  static_cast<u32>(MAC_SN_MAGIC))
            << c.addr;
    }
}

TEST(SimHarness, ConfigStateAndRequestLogRoundTrip) {
    temp_dir state;
    std::vector<u8> preset(FW_BIN_MAX_SZ, 0xff);
    preset[UCFG_MAC_SN_PARTION] = 0x42;
    write_flash_image(state.path(), "0000:0a:00.0", preset);
    // A read request for VERSION_INFO offering 52 bytes, written by the shell.
    const std::string script =
        "printf '\\251\\250\\247\\246\\0\\0\\0\\0\\012\\0\\0\\0\\0\\0\\0\\0\\064\\0\\0\\0' |"
        " dd of=/sys/class/net/t0/maintain conv=notrunc bs=20 count=1 2>/dev/null";
    const sim_run r = run_in_sim({"sh", "-c", script},
                                 "card 0000:0a:00.0 fw=3.2.1.0 pxe=1.2.3\niface t0\n",
                                 state.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.state_dir, state.path());
    EXPECT_EQ(read_flash_image(state.path(), "0000:0a:00.0"), preset) << "preset flash reused";
    const std::vector<logged_request> log = read_request_log(state.path());
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].iface, "t0");
    EXPECT_EQ(log[0].cmd, MT_READ_FLASH);
    EXPECT_EQ(log[0].part, VERSION_INFO);
    EXPECT_EQ(log[0].req_data_bytes, 0);
    EXPECT_EQ(log[0].reply_bytes, 52);
    EXPECT_EQ(log[0].hdr, "a9a8a7a6000000000a0000000000000034000000");
    EXPECT_EQ(log[0].payload, 0);
    EXPECT_EQ(log[0].crc32, payload_crc32({}));
    EXPECT_EQ(log[0].reply_data, 20);
    EXPECT_EQ(log[0].result, "ok");
    EXPECT_NE(sim_default_config().find("card 0000:05:00.0 device=0x8208"), std::string::npos);
}

TEST(SimHarness, RunsThatOverstayAreEnded) {
    const auto t0 = std::chrono::steady_clock::now();
    const sim_run r = run_in_sim({"sleep", "60"}, "", "", 1.0);
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.status, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(15));
}

}  // namespace
}  // namespace e2e
