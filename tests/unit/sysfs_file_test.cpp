#include "devices/sysfs_file.h"

#include "test_support.h"

namespace {

using namespace test_support;

TEST(SysfsFileTest, ParsesLeadingNumbers) {
    const temp_dir tmp;
    const struct { const char* text; u32 dec, hex; } cases[] = {  // text nullptr: no such file
        {"1\n", 1, 1},           {"0x8848\n", 0, 0x8848},          {"8308", 8308, 0x8308},
        {" \t42zz\n", 42, 0x42}, {"-1\n", 0xFFFFFFFF, 0xFFFFFFFF}, {"up\n", 0, 0},
        {"4294967298\n", 2, 0x94967298} /* low 32 bits */,         {"", 0xFFFFFFFF, 0xFFFFFFFF},
        {nullptr, 0xFFFFFFFF, 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        const std::string path = c.text ? tmp / "f" : tmp / "missing";
        if (c.text)
            write_file_bytes(path, to_bytes(c.text));
        EXPECT_EQ(read_file_int(path), c.dec) << (c.text ? c.text : "missing");
        EXPECT_EQ(read_file_hex(path), c.hex) << (c.text ? c.text : "missing");
    }
}

}  // namespace
