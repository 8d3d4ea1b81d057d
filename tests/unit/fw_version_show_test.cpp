#include "report/fw_version_show.h"

#include "byte_order.h"
#include "report_flash.h"

namespace {

using namespace test_support;

TEST(FwVersionShow, BothVersionsOrNotSupported) {
    const std::string shown = " FW\t: 1.2.3.4\n PXE\t: 1.2.3\n", unsupported = " show fw version not supported!\n";
    const struct { std::size_t len; u32 magic; bool fails; std::string out; } rows[] = {
        {20, 0xA7A8, false, shown}, {32, 0xA7A8, false, shown}, {20, 0xA7A7, false, unsupported},
        {19, 0xA7A8, false, unsupported}, {20, 0xA7A8, true, unsupported},
    };
    for (const auto& c : rows) {
        report_flash k;
        bytes reply(32, 0xee);
        for (auto [at, v] : {std::pair{0, 0x01020304u}, {4, 0xff030201u}, {8, c.magic}})
            put_le32(reply.data() + at, v);
        k.parts[VERSION_INFO] = bytes(reply.begin(), reply.begin() + static_cast<long>(c.len));
        k.failing = c.fails ? VERSION_INFO : 0;
        struct { fw_version v{}; u8 after[12] = {}; } room;  // the record is stored, nothing beyond it
        EXPECT_EQ(get_fw_version(k, &k.dev, &room.v), c.out == shown ? 0 : -1) << c.len;
        EXPECT_EQ(bytes(room.after, room.after + 12), bytes(12, 0)) << c.len;
        const outcome o = run([&] { show_fw_version(k, &k.dev); });
        EXPECT_EQ(std::pair(o.ended, o.output), std::pair(false, c.out)) << c.len;
    }
}

}  // namespace
