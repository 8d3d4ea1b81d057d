// Exclusion on the maintain file: while another process holds its lock, the
// tool waits for it (reads by retrying after a short pause, writes by
// blocking) and then carries its exchange out, burning little CPU meanwhile.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "sim_harness.h"

namespace e2e {
namespace {

TEST(MaintainLock, ToolWaitsForAnotherHolderThenSucceeds) {
    constexpr double HOLD_S = 2.0;
    struct row {
        const char* first_exchange;
        std::vector<std::string> args;
        std::string out;
        std::string log;  // requests in order: r read, w write, of partition 3
    } const rows[] = {
        {"read", {"-q", "-i", "0", "-sn", "ZS4P0300LCK"}, "enp3s0f0 port0\nwriting flash.... Done\n", "r w r"},
        {"write", {"-q", "-i", "0", "-reset-cfg"}, "enp3s0f0 port0\nreset_ucfg_mac_sn\nwriting flash.... Done\n",
         "w r"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string("first exchange: ") + r.first_exchange);
        const locked_run run = run_tool_while_locked("enp3s0f0", HOLD_S, r.args);
        ASSERT_EQ(run.holder, "locked") << run.sim.out << run.sim.err;
        EXPECT_EQ(run.status, 0) << run.sim.err;
        EXPECT_EQ(run.out, r.out);

        // The holder took the lock before the tool started and keeps it
        // HOLD_S seconds; the tool's exchanges can only come after that, and
        // come promptly once it is free.
        EXPECT_GE(run.wall_s, HOLD_S - 0.1);
        EXPECT_LT(run.wall_s, HOLD_S + 0.5);
        const double cpu_s = run.user_s + run.sys_s;
        EXPECT_LT(cpu_s, 0.05 * run.wall_s) << "user " << run.user_s << " s, system " << run.sys_s << " s";

        std::string log;
        for (const logged_request& e : read_request_log(run.sim.state_dir)) {
            EXPECT_EQ(e.part, 3);
            EXPECT_EQ(e.result, "ok");
            log += std::string(log.empty() ? "" : " ") + (e.cmd == 1 ? "w" : "r");
        }
        EXPECT_EQ(log, r.log);
    }
}

}  // namespace
}  // namespace e2e
