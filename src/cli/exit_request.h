// How the command line's front end ends a run: throw exit_request and let
// main turn it into the exit status. The library below hands failures up as
// results (base/result.h); only this front end ends runs.
#pragma once

#include "base/result.h"

struct exit_request {
    int status;  // as passed to exit(): -1 reaches the shell as 255
};

// Ends the run with the given status. Standard output is flushed by main.
[[noreturn]] inline void end_process(int status) { throw exit_request{status}; }

// The tool's status for a failure the library handed up: 1 when the maintain
// lock could not be had or released, -1 for every other.
inline int tool_status(const result& r) {
    return r.code == fault_code::lock_timeout || r.code == fault_code::lock_release ? 1 : -1;
}

// Ends the run with the status of `r`; its message has been shown.
[[noreturn]] inline void end_run(const result& r) { end_process(tool_status(r)); }
