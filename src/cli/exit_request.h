// The one way any layer ends the process: throw exit_request and let main
// turn it into the exit status. Keeps every function testable in-process.
#pragma once

struct exit_request {
    int status;  // as passed to exit(): -1 reaches the shell as 255
};

// Ends the run with the given status. Standard output is flushed by main.
[[noreturn]] inline void end_process(int status) { throw exit_request{status}; }
