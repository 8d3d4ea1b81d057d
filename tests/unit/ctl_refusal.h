// Checks that a zelvoctl call refuses with a ctl_error of `status` whose text
// holds `said`.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ctl_error.h"

template <typename Call>
void expect_refused(Call call, const std::string& said, ctl_status status = ctl_status::usage) {
    try {
        call();
        ADD_FAILURE() << "nothing was refused; expected: " << said;
    } catch (const ctl_error& e) {
        EXPECT_EQ(e.status(), status) << e.what();
        EXPECT_NE(std::string(e.what()).find(said), std::string::npos) << e.what() << "\n  expected: " << said;
    }
}
