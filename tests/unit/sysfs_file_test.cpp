#include "devices/sysfs_file.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class SysfsFileTest : public testing::Test {
protected:
    void SetUp() override {
        std::string t = (fs::temp_directory_path() / "sysfs_file_XXXXXX").string();
        ASSERT_NE(mkdtemp(t.data()), nullptr);
        dir_ = t;
        fs::create_directory(dir_ / "d");  // opens, but every read fails
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string put(const std::string& text) {
        std::ofstream((dir_ / "f").string(), std::ios::binary) << text;
        return (dir_ / "f").string();
    }
    fs::path dir_;
};

TEST_F(SysfsFileTest, ReadsWholeFilesOrFails) {
    std::string big(3 * 4096 + 123, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 251);
    for (const std::string& text : {std::string("ab\n"), std::string("\0x", 2), big}) {
        const auto got = read_file(put(text));
        ASSERT_TRUE(got.has_value()) << text.size();
        EXPECT_EQ(std::string(got->begin(), got->end()), text);
    }
    for (const std::string& path : {put(""), (dir_ / "missing").string(), (dir_ / "d").string()})
        EXPECT_FALSE(read_file(path).has_value()) << path;
}

// A sysfs attribute's status reports a whole page; only the text comes back.
TEST_F(SysfsFileTest, ReadsSysfsAttributeByBytesRead) {
    const char* path = "/sys/class/net/lo/address";
    struct stat st {};
    ASSERT_EQ(stat(path, &st), 0) << "this test needs sysfs with the loopback interface";
    ASSERT_GT(st.st_size, 18);
    const auto got = read_file(path);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(std::string(got->begin(), got->end()), "00:00:00:00:00:00\n");
}

TEST_F(SysfsFileTest, ParsesLeadingNumbers) {
    const struct {
        const char* text;  // nullptr: no such file
        u32 dec, hex;
    } cases[] = {
        {"1\n", 1, 1},          {"0x8848\n", 0, 0x8848},          {"8308", 8308, 0x8308},
        {" \t42zz\n", 42, 0x42}, {"-1\n", 0xFFFFFFFF, 0xFFFFFFFF}, {"up\n", 0, 0},
        {"4294967298\n", 2, 0x94967298},  // low 32 bits kept
        {"", 0xFFFFFFFF, 0xFFFFFFFF},     {nullptr, 0xFFFFFFFF, 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        const std::string path = c.text ? put(c.text) : (dir_ / "missing").string();
        EXPECT_EQ(read_file_int(path), c.dec) << (c.text ? c.text : "missing");
        EXPECT_EQ(read_file_hex(path), c.hex) << (c.text ? c.text : "missing");
    }
}

}  // namespace
