// The library reports on standard output in the other tool's fixed texts.
// zelvoctl keeps its own standard output for its document alone, so while a
// capture lives, whatever the process writes to descriptor 1 goes into an
// anonymous memory file instead, to be quoted in an error or dropped.
#pragma once

#include <string>

#include "unique_fd.h"

class stdout_capture {
public:
    // Descriptor 1 is one per process: on a thread that works on one card of
    // many, a capture leaves it alone and captures nothing (the library's
    // texts go where the outermost capture put them).
    static thread_local bool on_card_thread;

    stdout_capture();
    ~stdout_capture();
    stdout_capture(const stdout_capture&) = delete;
    stdout_capture& operator=(const stdout_capture&) = delete;

    // Everything captured so far.
    std::string text() const;
    // The last non-empty line captured, without its newline; "" when none.
    std::string last_line() const;
    // Where descriptor 1 pointed before the capture.
    int original_fd() const { return saved_.get(); }

private:
    unique_fd saved_;
    unique_fd sink_;
};
