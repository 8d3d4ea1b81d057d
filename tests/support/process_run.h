// Support shared by the simulator's tests and the end-to-end tests: a
// temporary folder and a child process run with its output collected.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace test_support {

// A fresh folder under /tmp, removed with its content when the object goes.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct process_result {
    int status = -1;  // as a shell reports it: 128 + N for signal N; -1 when it overstayed
    bool timed_out = false;
    std::string out, err;
};

// Runs words[0] (a path) with stdin from /dev/null and both outputs
// collected, as user `as_uid` when it is not 0. After `timeout_s` the process
// gets SIGTERM, and SIGKILL five seconds later.
process_result run_process(const std::vector<std::string>& words, double timeout_s, uid_t as_uid = 0);

}  // namespace test_support
