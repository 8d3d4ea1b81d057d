// A maintain file locked by another process for longer than the tool's
// limit: the tool's read gives up after a little over a minute, without
// having sent anything to the driver.
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace e2e {
namespace {

TEST(MaintainLockSlow, ReadGivesUpAfterTheLockTimeLimit) {
    // The limit is 60 s counted in whole seconds, exceeded after 61 to 62 s.
    constexpr double LIMIT_S = 60;
    const locked_run run = run_tool_while_locked("enp3s0f0", 70, {"-q", "-i", "0"}, 150);
    ASSERT_EQ(run.holder, "locked") << run.sim.out << run.sim.err;
    EXPECT_EQ(run.status, 1) << run.sim.err;
    EXPECT_EQ(run.out, "enp3s0f0 port0\nget lock timeout \n");
    EXPECT_GT(run.wall_s, LIMIT_S);
    EXPECT_LT(run.wall_s, LIMIT_S + 3);
    EXPECT_LT(run.user_s + run.sys_s, 0.05 * run.wall_s) << "waiting must not spin";
    EXPECT_TRUE(read_request_log(run.sim.state_dir).empty());
}

}  // namespace
}  // namespace e2e
