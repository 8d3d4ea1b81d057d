#include "maintain.h"

#include "test_support.h"

namespace {

TEST(Crxsum, XorsTheWholeLittleEndianWords) {
    const test_support::bytes words = {0x01, 0, 0, 0, 0x03, 0, 0, 0, 0x78, 0x56, 0x34, 0x12};
    const struct { std::size_t size; u32 want; } cases[] = {{12, 2u ^ 0x12345678u}, {8, 2}, {7, 1}, {3, 0}, {0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(crxsum(words.data(), c.size), c.want) << "size " << c.size;
}

}  // namespace
