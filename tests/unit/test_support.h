// Helpers shared by the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "cli/arg_parse.h"
#include "record/cfg.h"
#include "cli/exit_request.h"
#include "flash/flash_access.h"
#include "process_run.h"
#include "test_bytes.h"

namespace test_support {

using bytes = std::vector<u8>;

// What a call printed on stdout, what it returned (0 for void) and whether,
// with which status, it ended the process; `result` then holds that status.
struct outcome {
    int status = 0;
    bool ended = false;
    int result = 0;
    std::string output;
};

// A failure the library hands up as a value counts as the run ending with
// the tool's status for it, as the front end ends it.
template <typename F>
outcome run(F f) {
    testing::internal::CaptureStdout();
    outcome o;
    auto ends_with = [&o](const result& r) {
        if (!r.ok()) {
            o.status = o.result = tool_status(r);
            o.ended = true;
        }
    };
    try {
        using R = decltype(f());
        if constexpr (std::is_void_v<R>) {
            f();
        } else if constexpr (std::is_same_v<R, result>) {
            ends_with(f());
        } else if constexpr (std::is_same_v<R, flash_outcome>) {
            const flash_outcome fo = f();
            o.result = fo.value;
            ends_with(fo.fault);
        } else {
            o.result = static_cast<int>(f());
        }
    } catch (const exit_request& e) {
        o.status = o.result = e.status;
        o.ended = true;
    }
    o.output = testing::internal::GetCapturedStdout();
    return o;
}

// parse_args over `table`, with `args` behind a program name.
inline outcome parse_with(const arg_option* table, std::vector<std::string> args) {
    args.insert(args.begin(), "tool");
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    return run([&] { return parse_args(table, static_cast<int>(argv.size()), argv.data()); });
}

// A record as loaded from erased flash (MAC slots all 0xff); `magic` lets a
// test see whether a setter writes it.
inline ucfg_mac_sn reset_record(std::optional<std::int32_t> magic = {}) {
    ucfg_mac_sn r;
    std::memset(&r, 0xff, sizeof(r));
    ucfg_mac_sn_reset(&r);
    if (magic)
        r.magic = *magic;
    return r;
}

inline bytes bytes_of(const ucfg_mac_sn& r) {
    const u8* p = reinterpret_cast<const u8*>(&r);
    return {p, p + sizeof(r)};
}

// Whole-record comparison that names the first differing byte offset.
inline testing::AssertionResult same_record(const ucfg_mac_sn& got, const ucfg_mac_sn& want) {
    const bytes g = bytes_of(got), w = bytes_of(want);
    const auto [gi, wi] = std::mismatch(g.begin(), g.end(), w.begin());
    if (gi == g.end())
        return testing::AssertionSuccess();
    char msg[64];
    std::snprintf(msg, sizeof msg, "record byte %td is 0x%02x, want 0x%02x", gi - g.begin(), *gi, *wi);
    return testing::AssertionFailure() << msg;
}

// Each byte differs from its neighbours and from the same offset one 4 KiB
// page away, so a misplaced window or a lost chunk shows.
inline bytes patterned(std::size_t n) {
    bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<u8>(i + (i >> 12) * 7);
    return b;
}

// The interface names of a device list, in order.
template <typename List>
std::vector<std::string> names(const List& l) {
    std::vector<std::string> out;
    for (const auto& d : l)
        out.emplace_back(d.name);
    return out;
}

inline bytes to_bytes(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace test_support
