// What every fuzz target shares: a scratch folder that confines the files a
// target makes, quiet standard output, and the check that stops the run with
// a clear message when something that must hold does not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "cli/exit_request.h"
#include "flash/flash_access.h"
#include "base/types.h"

namespace fuzz {

// Stops the run (abort, which libFuzzer records as a crash with the input)
// after printing `what` on standard error.
[[noreturn]] void invariant_broken(const char* target, const std::string& what);

// The target's own folder under /dev/shm (or /tmp), made on first use and
// removed when the process exits normally.
const std::string& scratch_dir();

// Removes every entry of `dir` (recursively), keeping the folder itself.
void empty_dir(const std::string& dir);

// Sends the tool's standard output to /dev/null: its messages are not what a
// target checks, and printing them costs most of a run.
void silence_stdout();

// Bytes of a file; none when it cannot be read. A missing file and an empty
// one differ.
std::optional<std::vector<u8>> file_content(const std::string& path);

// `len` bytes of `pattern` repeated from the start (zeros for no pattern):
// files of any size, up to whole flash images, from a short input.
std::vector<u8> repeated(std::span<const u8> pattern, std::size_t len);

// Runs `f`, turning the process-ending path into its status. `ended` tells
// whether it was taken.
struct call_result {
    int status = 0;
    bool ended = false;
};
// A failure the library hands up as a value counts as the run's end with
// the tool's status for it.
template <typename F>
call_result call_catching_end(F&& f) {
    call_result r;
    auto ends_with = [&r](const result& fault) {
        if (!fault.ok()) {
            r.status = tool_status(fault);
            r.ended = true;
        }
    };
    try {
        using R = decltype(f());
        if constexpr (std::is_same_v<R, result>) {
            ends_with(f());
        } else if constexpr (std::is_same_v<R, flash_outcome>) {
            const flash_outcome o = f();
            r.status = o.value;
            ends_with(o.fault);
        } else {
            r.status = f();
        }
    } catch (const exit_request& e) {
        r.status = e.status;
        r.ended = true;
    }
    return r;
}

}  // namespace fuzz

// Checks `cond`; on failure names the target, the condition and a detail.
#define FUZZ_CHECK(cond, detail)                                                                       \
    do {                                                                                               \
        if (!(cond))                                                                                   \
            ::fuzz::invariant_broken(FUZZ_TARGET_NAME, std::string(#cond) + ": " + std::string(detail)); \
    } while (0)
