// Helpers shared by the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cfg.h"
#include "exit_request.h"

namespace test_support {

// What a call printed on stdout, and the status it ended the process with
// (0 when it returned normally).
struct outcome {
    int status;
    std::string output;
};

template <typename F>
outcome run(F f) {
    testing::internal::CaptureStdout();
    int status = 0;
    try {
        f();
    } catch (const exit_request& e) {
        status = e.status;
    }
    return {status, testing::internal::GetCapturedStdout()};
}

// A record as loaded from erased flash: defaults, MAC slots all 0xff.
inline ucfg_mac_sn reset_record() {
    ucfg_mac_sn r;
    std::memset(&r, 0xff, sizeof(r));
    ucfg_mac_sn_reset(&r);
    return r;
}

}  // namespace test_support
