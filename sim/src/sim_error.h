// The simulator's one failure type: a message for the operator. The command
// line front end prints it and turns it into an exit status.
#pragma once

#include <stdexcept>
#include <string>

struct sim_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// "what: strerror(errno)" for a failed system call.
std::string errno_text(const std::string& what);
