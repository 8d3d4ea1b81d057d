#include "flash/maintain_channel.h"

#include <unistd.h>

#include "base/unique_fd.h"
#include "test_support.h"

namespace {

using namespace test_support;

TEST(ReadReply, ChecksTheReplyBeforeUsingIt) {
    const auto header = [](int data_bytes) {
        return le_words({MAINTAIN_REPLY_MAGIC, 0, 3, static_cast<u32>(data_bytes), 0});
    };
    const auto cat = [](std::initializer_list<bytes> parts) {
        bytes out;
        for (const bytes& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    const bytes rec = patterned(480);
    const struct { int partion; bytes reply; int want; const char* out; } cases[] = {
        {PART_MAC_ADDR, cat({header(480), rec}), 480, ""},
        {VERSION_INFO, cat({header(32), bytes(32, 0x77)}), 32, ""},
        {PART_MAC_ADDR, bytes(12, 0), -5, "invalid reply: header 12 bytes\n"},
        {PART_MAC_ADDR, cat({header(481), rec, {0}}), -5, "invalid reply: data_bytes:481 max:480\n"},
        {PART_MAC_ADDR, header(-1), -5, "invalid reply: data_bytes:-1 max:480\n"},
        {PART_MAC_ADDR, cat({header(480), bytes(100, 1)}), -5, "invalid reply: data 100 of 480 bytes\n"},
    };
    for (const auto& c : cases) {
        int p[2];
        ASSERT_EQ(::pipe(p), 0);
        const unique_fd rd(p[0]);
        ASSERT_EQ(::write(p[1], c.reply.data(), c.reply.size()), static_cast<ssize_t>(c.reply.size()));
        ::close(p[1]);
        // Guard bytes behind the reply buffer must stay untouched.
        bytes buf(MAINTAIN_HDR_SZ + partion_max_sz(c.partion) + 8, 0);
        const outcome o = run([&] { return read_reply(rd.get(), c.partion, std::span(buf).first(buf.size() - 8)); });
        EXPECT_EQ(std::pair(o.result, o.output), std::pair(c.want, std::string(c.out)));
        if (c.want > 0) {
            EXPECT_EQ(bytes(buf.begin(), buf.begin() + 20 + c.want), c.reply);
        }
        EXPECT_EQ(bytes(buf.end() - 8, buf.end()), bytes(8, 0)) << c.out;
    }
    bytes buf(MAINTAIN_HDR_SZ + 480);
    EXPECT_EQ(run([&] { return read_reply(-1, PART_MAC_ADDR, buf); }).status, -1);
}

}  // namespace
