#include "main_driver.h"

#include <regex>

#include "test_support.h"

namespace {

using test_support::run;
using namespace std::string_literals;

// Runs the tool in-process; the options here end it before any device or
// file is touched.
test_support::outcome run_tool(std::vector<std::string> args) {
    args.insert(args.begin(), "kv7update_tool");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    int status = 0;
    auto o = run([&] { status = kv7update_tool_main(static_cast<int>(argv.size()), argv.data()); });
    if (o.status == 0)
        o.status = status;
    return o;
}

TEST(main_driver, banner_and_parse_failures) {
    auto r = run_tool({"-i"});
    EXPECT_EQ(std::pair(r.status, r.output), std::pair(-1, std::string("arg:-i need value\n")));

    r = run_tool({"-eeprom", "/nonexistent"});
    EXPECT_EQ(r.status, -1);
    // The build date and time, as in "Sep 28 2025" and "09:43:38".
    EXPECT_TRUE(std::regex_match(r.output, std::regex("Zelvo flash update tools: 1\\.0\\.0 build:"
                                                      "[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4},[0-9]{2}:[0-9]{2}:[0-9]{2}\n\n"
                                                      "read file /nonexistent failed \n")))
        << r.output;
}

}  // namespace
