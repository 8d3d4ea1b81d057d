#include "base/buf_dump.h"

#include "test_support.h"

namespace {

TEST(BufDump, HeadingRowsAndTheLimitOf128Bytes) {
    const test_support::bytes data = test_support::patterned(480);
    const std::string five = test_support::run([&] { buf_dump("xx", data.data(), 5); }).output;
    char expect5[64];
    std::snprintf(expect5, sizeof expect5, "xx: #5==\n\n  0: %02x %02x %02x %02x %02x \n", data[0], data[1], data[2],
                  data[3], data[4]);
    EXPECT_EQ(five, expect5);

    const std::string full = test_support::run([&] { buf_dump("xx", data.data(), 480); }).output;
    EXPECT_EQ(full.rfind("xx: #480==\n\n  0: ", 0), 0u);
    EXPECT_NE(full.find("\n112: "), std::string::npos);
    EXPECT_EQ(full.find("\n128: "), std::string::npos);
    // Eight rows: the offset label, sixteen bytes and a second blank after the 8th and 16th.
    EXPECT_EQ(full.size(), std::string("xx: #480==\n").size() + 8 * (1 + 5 + 16 * 3 + 2) + 1);

    const std::string long_label(2000, 'L');
    const std::string big = test_support::run([&] { buf_dump(long_label.c_str(), data.data(), 128); }).output;
    EXPECT_EQ(big.rfind(long_label + ": #128==", 0), 0u);
}

}  // namespace
