// The history file: lines appended at once from many writers stay whole, and
// a line cut by a crash is counted as damaged rather than breaking the rest.
#include <gtest/gtest.h>

#include <thread>

#include "history.h"
#include "test_support.h"

namespace {

using test_support::to_bytes;
using test_support::write_file_bytes;

TEST(ZelvoctlHistoryFile, LinesAppendedAtOnceNeverInterleave) {
    const test_support::temp_dir dir;
    const std::string path = dir / "sub/history.jsonl";
    constexpr int WRITERS = 4, LINES = 25;
    std::vector<std::thread> writers;
    for (int w = 0; w < WRITERS; ++w)
        writers.emplace_back([&, w] {
            history_file h(path);  // each writer its own descriptor, as separate processes have
            for (int i = 0; i < LINES; ++i)
                EXPECT_EQ(h.append({{"writer", w}, {"line", i}, {"padding", std::string(200000, 'a' + w)}}), "");
        });
    for (std::thread& t : writers)
        t.join();
    const history_lines read = read_history(path);
    EXPECT_EQ(read.damaged, 0u);
    ASSERT_EQ(read.entries.size(), static_cast<std::size_t>(WRITERS * LINES));
    std::vector<int> next(WRITERS, 0);
    for (const json& e : read.entries) {
        const int w = e["writer"];
        EXPECT_EQ(e["line"], next[w]++) << "a writer's lines out of order";
        EXPECT_EQ(e["padding"], std::string(200000, static_cast<char>('a' + w)));
    }
}

TEST(ZelvoctlHistoryFile, ACutLineIsCountedAndTheOthersKept) {
    const test_support::temp_dir dir;
    write_file_bytes(dir / "h", to_bytes("{\"command\":\"set\"}\n{\"command\":\"bu\n\n[1]\n{\"command\":\"burn\"}\n{\"comm"));
    const history_lines read = read_history(dir / "h");
    EXPECT_EQ(read.damaged, 3u);
    ASSERT_EQ(read.entries.size(), 2u);
    EXPECT_EQ(read.entries[1]["command"], "burn");
    EXPECT_TRUE(read_history(dir / "none").entries.empty());
}

}  // namespace
