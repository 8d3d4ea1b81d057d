// The history of every change zelvoctl makes to a card: one JSON object per
// line, appended to a file that outlives the cards (by default
// /var/lib/zelvoctl/history.jsonl). A line is written with one write call on
// a descriptor opened for appending, then synced before the command ends, so
// lines of processes writing at once never interleave and a line that was
// reported written survives a crash. Threads working on many cards share
// one history_file: their lines are appended one at a time.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "record_decode.h"
#include "base/unique_fd.h"

// The time now in UTC, formatted by strftime's `format`.
std::string utc_now(const char* format);

constexpr char DEFAULT_HISTORY[] = "/var/lib/zelvoctl/history.jsonl";

class history_file {
public:
    // Opens `path` for appending, creating it (0600) and its folders (0700)
    // when missing. Throws io_failure naming the file and the cause.
    explicit history_file(const std::string& path);

    const std::string& path() const { return path_; }

    // Appends `entry` as one line and syncs it; "" when done, else the cause
    // (strerror's text).
    std::string append(const json& entry);

private:
    std::string path_;
    unique_fd fd_;
    std::mutex appending_;
};

// The lines of a history file, oldest first. A missing file is an empty
// history; `damaged` counts lines that are not a JSON object (a line cut by
// a crash before it was synced). Throws io_failure when it cannot be read.
struct history_lines {
    std::vector<json> entries;
    std::size_t damaged = 0;
};
history_lines read_history(const std::string& path);

// Whether `entry` is about DEVICE: its interface, its PCI address (with or
// without the domain) or a serial it had before or after.
bool history_names(const json& entry, const std::string& device);
