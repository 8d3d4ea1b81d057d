#include "devices/sysfs_file.h"

#include <sys/stat.h>

#include "test_support.h"

namespace {

using namespace test_support;

TEST(SysfsFileTest, ReadsWholeFilesOrFails) {
    const temp_dir tmp;
    for (const bytes& content : {to_bytes("ab\n"), bytes{0, 'x'}, patterned(3 * 4096 + 123)}) {
        put_file(tmp / "f", content);
        EXPECT_EQ(read_file(tmp / "f"), content) << content.size();
    }
    put_file(tmp / "empty", {});
    std::filesystem::create_directory(tmp / "d");  // opens, but every read fails
    for (const std::string& path : {tmp / "empty", tmp / "missing", tmp / "d"})
        EXPECT_FALSE(read_file(path).has_value()) << path;

    // A sysfs attribute's status reports a whole page; only the text comes back.
    struct stat st {};
    ASSERT_EQ(stat("/sys/class/net/lo/address", &st), 0) << "this test needs sysfs with the loopback interface";
    ASSERT_GT(st.st_size, 18);
    EXPECT_EQ(read_file("/sys/class/net/lo/address"), to_bytes("00:00:00:00:00:00\n"));
}

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
            put_file(path, to_bytes(c.text));
        EXPECT_EQ(read_file_int(path), c.dec) << (c.text ? c.text : "missing");
        EXPECT_EQ(read_file_hex(path), c.hex) << (c.text ? c.text : "missing");
    }
}

}  // namespace
