// Exclusion on the maintain file: while another process holds its lock, the
// tool waits for it (reads by retrying, writes by blocking) and then carries
// its exchange out, burning little CPU meanwhile.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {
namespace {

TEST(MaintainLock, ToolWaitsForAnotherHolderThenSucceeds) {
    constexpr double HOLD_S = 2.0;
    const tool_case rows[] = {  // the first exchange a read, then a write
        {{"-q", "-i", "0", "-sn", "ZS4P0300LCK"}, 0, "enp3s0f0 port0\nwriting flash.... Done\n", "r3 w3 r3"},
        {{"-q", "-i", "0", "-reset-cfg"}, 0, "enp3s0f0 port0\nreset_ucfg_mac_sn\nwriting flash.... Done\n", "w3 r3 r3"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.log);
        const locked_run run = run_tool_while_locked("enp3s0f0", HOLD_S, r.args);
        ASSERT_EQ(run.holder, "locked") << run.sim.out << run.sim.err;
        EXPECT_EQ(run.status, r.status) << run.sim.err;
        EXPECT_EQ(run.out, r.out);
        // The holder took the lock before the tool started and keeps it
        // HOLD_S seconds; the tool's exchanges can only come after that, and
        // come promptly once it is free.
        EXPECT_GE(run.wall_s, HOLD_S - 0.1);
        EXPECT_LT(run.wall_s, HOLD_S + 0.5);
        EXPECT_LT(run.user_s + run.sys_s, 0.05 * run.wall_s) << "user " << run.user_s << " s, system " << run.sys_s;
        EXPECT_EQ(log_summary(read_request_log(run.sim.state_dir)), r.log);
    }
}

}  // namespace
}  // namespace e2e
