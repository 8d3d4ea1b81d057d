#include "arg_parse.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "exit_request.h"

namespace {

// A small table with one entry of each kind the parser handles.
struct fixture_settings {
    u8 list = 0;
    u8 cleared = 1;
    int idx = -1;
    char dev[8] = {};
    int dev_len = -1;
    u8 hex[4] = {};
    int hex_len = -1;
    unsigned long long big = 0;
};

struct parser : ::testing::Test {
    fixture_settings v;
    std::vector<arg_option> table;

    void SetUp() override {
        table = {
            {"l", "list", OPT_NO_ARG, &v.list, OPT_BOOL_SET_1, nullptr, "list", 1, 0},
            {"", "clear", OPT_NO_ARG, &v.cleared, OPT_BOOL_SET_0, nullptr, "clear", 0, 0},
            {"i", "idx", OPT_HAS_ARG, &v.idx, OPT_INT32, nullptr, "index", 1, sizeof v.idx},
            {"d", "dev", OPT_HAS_ARG, v.dev, OPT_STRING, &v.dev_len, "device", 1, sizeof v.dev},
            {"", "hex", OPT_HAS_ARG, v.hex, OPT_HEX2BIN, &v.hex_len, "bytes", 1, sizeof v.hex},
            {"", "big", OPT_HAS_ARG, &v.big, OPT_INT64, nullptr, "wide", 1, sizeof v.big},
            {"", "skip", OPT_HAS_ARG, nullptr, OPT_INT32, nullptr, "skipped", 1, 0},
            {"", "bad", OPT_HAS_ARG, &v.idx, 9, nullptr, "bad method", 1, sizeof v.idx},
            {"i", "again", OPT_HAS_ARG, &v.big, OPT_INT64, nullptr, "shadowed", 1, sizeof v.big},
            {nullptr, nullptr, 0, nullptr, 0, nullptr, nullptr, 0, 0},
        };
    }

    struct outcome {
        int result;       // parse_args result, or the exit status when it ended the process
        bool ended;
        std::string out;
    };

    outcome parse(std::vector<std::string> args) {
        args.insert(args.begin(), "tool");
        std::vector<const char*> argv;
        for (auto& a : args)
            argv.push_back(a.c_str());
        testing::internal::CaptureStdout();
        outcome o{0, false, ""};
        try {
            o.result = parse_args(table.data(), static_cast<int>(argv.size()), argv.data());
        } catch (const exit_request& e) {
            o.result = e.status;
            o.ended = true;
        }
        o.out = testing::internal::GetCapturedStdout();
        return o;
    }
};

TEST_F(parser, one_or_two_dashes_name_the_same_entry) {
    for (const char* typed : {"-l", "--l", "-list", "--list"}) {
        v.list = 0;
        auto o = parse({typed});
        EXPECT_EQ(o.result, 2) << typed;
        EXPECT_EQ(v.list, 1) << typed;
    }
}

TEST_F(parser, unknown_names_print_the_usage_and_end_with_status_0) {
    struct {
        const char* typed;
        const char* message;
    } cases[] = {
        {"---l", "invalid arg:---l index:1\n"},
        {"-L", "invalid arg:-L index:1\n"},
        {"--", "invalid arg:-- index:1\n"},
        {"-lis", "invalid arg:-lis index:1\n"},
    };
    for (const auto& c : cases) {
        auto o = parse({c.typed});
        EXPECT_TRUE(o.ended) << c.typed;
        EXPECT_EQ(o.result, 0) << c.typed;
        EXPECT_EQ(o.out.rfind(c.message, 0), 0u) << o.out;
        EXPECT_NE(o.out.find("Usage:\n"), std::string::npos);
    }
}

TEST_F(parser, help_prints_usage_after_storing_earlier_options) {
    for (const char* typed : {"-h", "--h", "-help", "--help"}) {
        v.list = 0;
        auto o = parse({"-l", typed, "-i", "3"});
        EXPECT_TRUE(o.ended);
        EXPECT_EQ(o.result, 0);
        EXPECT_EQ(o.out.rfind("Usage:\n", 0), 0u) << typed;
        EXPECT_EQ(v.list, 1);
        EXPECT_EQ(v.idx, -1);
    }
}

TEST_F(parser, a_value_is_missing_when_last_or_dash_led) {
    struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"-i"}, "arg:-i need value\n"},
        {{"-i", "-1"}, "arg:-i need value\n"},
        {{"--idx", "-h"}, "arg:--idx need value\n"},
        {{"-l", "-d"}, "arg:-d need value\n"},
    };
    for (const auto& c : cases) {
        auto o = parse(c.args);
        EXPECT_FALSE(o.ended);
        EXPECT_EQ(o.result, -22);
        EXPECT_EQ(o.out, c.message);
    }
}

TEST_F(parser, a_lone_dash_and_an_empty_text_are_values) {
    auto o = parse({"-d", "-"});
    EXPECT_EQ(o.result, 3);
    EXPECT_STREQ(v.dev, "-");
    EXPECT_EQ(v.dev_len, 1);
    o = parse({"-d", ""});
    EXPECT_EQ(o.result, 3);
    EXPECT_STREQ(v.dev, "");
    EXPECT_EQ(v.dev_len, 0);
}

TEST_F(parser, parsing_stops_at_the_first_non_option) {
    EXPECT_EQ(parse({}).result, 1);
    auto o = parse({"-l", "word", "-i", "0"});
    EXPECT_EQ(o.result, 2);
    EXPECT_EQ(v.list, 1);
    EXPECT_EQ(v.idx, -1);
    EXPECT_EQ(parse({"-l", "x", "-i", "0"}).result, 2);
}

TEST_F(parser, numbers_convert_with_automatic_base_and_keep_32_bits) {
    struct {
        const char* text;
        int expected;
    } cases[] = {
        {"0x10", 16}, {"010", 8}, {"12", 12}, {"abc", 0}, {"7zz", 7}, {"0x1ffffffff", -1}, {"4294967297", 1},
    };
    for (const auto& c : cases) {
        v.idx = 99;
        EXPECT_EQ(parse({"-i", c.text}).result, 3);
        EXPECT_EQ(v.idx, c.expected) << c.text;
    }
    EXPECT_EQ(parse({"-big", "0x1ffffffff"}).result, 3);
    EXPECT_EQ(v.big, 0x1ffffffffull);
}

TEST_F(parser, the_first_matching_entry_wins_and_later_values_overwrite) {
    auto o = parse({"-i", "5", "-i", "6"});
    EXPECT_EQ(o.result, 5);
    EXPECT_EQ(v.idx, 6);
    EXPECT_EQ(v.big, 0u);  // the shadowed "i" entry is never reached
}

TEST_F(parser, flags_store_one_byte_and_null_targets_skip_their_value) {
    auto o = parse({"-clear", "-skip", "7", "-l"});
    EXPECT_EQ(o.result, 5);
    EXPECT_EQ(v.cleared, 0);
    EXPECT_EQ(v.list, 1);
}

TEST_F(parser, an_unknown_method_fails) {
    auto o = parse({"-bad", "1"});
    EXPECT_EQ(o.result, -22);
    EXPECT_EQ(o.out, "opt:-bad arg_options->conv_method: invalid method:9\n");
}

TEST_F(parser, a_text_longer_than_its_room_is_refused_whole) {
    std::memcpy(v.dev, "keep", 5);
    auto o = parse({"-l", "--dev", "12345678"});
    EXPECT_EQ(o.result, -22);
    EXPECT_EQ(o.out, "arg:--dev value too long, at most 7 characters\n");
    EXPECT_STREQ(v.dev, "keep");
    EXPECT_EQ(v.list, 1);  // options before the failing one stay stored
    EXPECT_EQ(parse({"-d", "1234567"}).result, 3);
    EXPECT_STREQ(v.dev, "1234567");
}

TEST_F(parser, hex_values_fill_bytes) {
    EXPECT_EQ(parse({"-hex", "0aFF"}).result, 3);
    EXPECT_EQ(v.hex_len, 2);
    EXPECT_EQ(v.hex[0], 0x0a);
    EXPECT_EQ(v.hex[1], 0xff);
    EXPECT_EQ(parse({"-hex", "123456789"}).result, -22);
}

TEST(hex2bin, converts_pairs_and_a_lone_last_digit) {
    struct {
        const char* text;
        std::vector<u8> bytes;
    } cases[] = {
        {"0aFF", {0x0a, 0xff}},
        {"g0", {0x00}},  // 16 * 16 keeps its low 8 bits
        {"abc", {0xab, 0xc0}},
        {"", {}},
    };
    for (const auto& c : cases) {
        u8 out[8];
        std::memset(out, 0xee, sizeof out);
        int n = -1;
        hex2bin(out, sizeof out, c.text, &n);
        ASSERT_EQ(n, static_cast<int>(c.bytes.size())) << c.text;
        EXPECT_EQ(std::vector<u8>(out, out + n), c.bytes) << c.text;
        EXPECT_EQ(out[n], 0xee) << c.text;
    }
    u8 small[1] = {0};
    int n = 0;
    hex2bin(small, sizeof small, "1122", &n);
    EXPECT_EQ(n, 1);
}

TEST(c2d, digit_values) {
    EXPECT_EQ(c2d('0'), 0);
    EXPECT_EQ(c2d('9'), 9);
    EXPECT_EQ(c2d('a'), 10);
    EXPECT_EQ(c2d('F'), 15);
    EXPECT_EQ(c2d('z'), 35);
    EXPECT_EQ(c2d('Z'), 35);
    EXPECT_EQ(c2d('-'), 0);
}

}  // namespace
