// `zelnic-sim run`: a command run in a private mount namespace in which the
// kernel's PCI driver folder and network class folder are replaced by the
// simulated ones.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zsim {

// Exit statuses of the simulator itself (the command's own status passes
// through unchanged; a command killed by signal N gives 128 + N).
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_SIM_FAILED = 125;   // set-up failed: no root, bad config, mount refused
constexpr int EXIT_CANNOT_EXEC = 126;  // command found but not runnable
constexpr int EXIT_NOT_FOUND = 127;    // command not found

constexpr char REAL_DRIVERS_DIR[] = "/sys/bus/pci/drivers";
constexpr char REAL_NET_DIR[] = "/sys/class/net";

struct run_options {
    std::optional<std::string> config_path;
    std::optional<std::string> state_dir;
    std::vector<std::string> backup_dirs;  // --from-backup: these cards instead of a config
    std::vector<std::string> command;
};

struct run_outcome {
    int status = 0;
    // The file system could not be shut down (a process still held it); the
    // caller must end the process without running destructors.
    bool abandon = false;
};

// Throws sim_error for failures before the command starts.
run_outcome run_in_namespace(const run_options& opts);

// The status a shell would report for a waitpid() status.
int shell_status(int wait_status);

}  // namespace zsim
