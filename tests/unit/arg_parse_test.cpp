#include "cli/arg_parse.h"

#include <tuple>

#include "test_support.h"

namespace {

using namespace test_support;

// One entry of each kind the parser handles.
struct fixture_settings {
    u8 list = 0;
    int idx = -1, dev_len = -1;
    char dev[8] = "keep";
};

struct parser : ::testing::Test {
    fixture_settings v;
    const arg_option table[5] = {
        {"l", "list", OPT_NO_ARG, &v.list, OPT_BOOL_SET_1, nullptr, "list", 1, 0},
        {"i", "idx", OPT_HAS_ARG, &v.idx, OPT_INT32, nullptr, "index", 1, sizeof v.idx},
        {"d", "dev", OPT_HAS_ARG, v.dev, OPT_STRING, &v.dev_len, "device", 1, sizeof v.dev},
        {"", "bad", OPT_HAS_ARG, &v.idx, 9, nullptr, "bad method", 1, sizeof v.idx},
        {nullptr, nullptr, 0, nullptr, 0, nullptr, nullptr, 0, 0},
    };

    outcome parse(std::vector<std::string> args) {
        v = fixture_settings{};
        return parse_with(table, std::move(args));
    }
};

TEST_F(parser, names_values_and_where_parsing_stops) {
    const std::string usage = "Usage:\n";
    // result: or the exit status; out: for an ended parse, the start of the output.
    struct { std::vector<std::string> args; int result; bool ended; std::string out; u8 list; int idx; } cases[] = {
        {{}, 1, false, "", 0, -1},                               {{"--l", "-idx", "5"}, 4, false, "", 1, 5},
        {{"-list", "--idx", "6", "-i", "7"}, 6, false, "", 1, 7}, {{"-l", "word", "-i", "0"}, 2, false, "", 1, -1},
        {{"---l"}, 0, true, "invalid arg:---l index:1\n" + usage, 0, -1},
        {{"-l", "--"}, 0, true, "invalid arg:-- index:2\n" + usage, 1, -1},
        {{"-lis"}, 0, true, "invalid arg:-lis index:1\n" + usage, 0, -1},
        {{"-l", "-h", "-i", "3"}, 0, true, usage, 1, -1},        {{"-i", "3", "--h"}, 0, true, usage, 0, 3},
        {{"-l", "-i"}, -22, false, "arg:-i need value\n", 1, -1},
        {{"-i", "-1"}, -22, false, "arg:-i need value\n", 0, -1},
        {{"--idx", "-h"}, -22, false, "arg:--idx need value\n", 0, -1},
        {{"-bad", "1"}, -22, false, "opt:-bad arg_options->conv_method: invalid method:9\n", 0, -1},
    };
    for (const auto& c : cases) {
        const std::string what = ::testing::PrintToString(c.args);
        const outcome o = parse(c.args);
        EXPECT_EQ(std::tuple(o.result, o.ended, v.list, v.idx), std::tuple(c.result, c.ended, c.list, c.idx)) << what;
        EXPECT_EQ(c.ended ? o.output.substr(0, c.out.size()) : o.output, c.out) << what;
    }
}

TEST_F(parser, values_convert_by_method) {
    for (const auto& [text, want] : {std::pair{"0x10", 16}, {"010", 8}, {"12", 12}, {"abc", 0}, {"7zz", 7},
                                     {"0x1ffffffff", -1}, {"4294967297", 1}}) {
        const int result = parse({"-i", text}).result;
        EXPECT_EQ(std::pair(result, v.idx), std::pair(3, want)) << text;
    }

    // A lone dash and an empty text are values; the text's length goes to dlen.
    for (const std::string text : {"-", "", "1234567"}) {
        const int result = parse({"-d", text}).result;
        EXPECT_EQ(std::tuple(result, std::string(v.dev), v.dev_len), std::tuple(3, text, int(text.size()))) << text;
    }
    // A text longer than its room is refused whole; earlier options stay stored.
    const outcome o = parse({"-l", "--dev", "12345678"});
    EXPECT_EQ(o.output, "arg:--dev value too long, at most 7 characters\n");
    EXPECT_EQ(std::tuple(o.result, std::string(v.dev), v.dev_len, v.list), std::tuple(-22, "keep", -1, 1));
}

}  // namespace
