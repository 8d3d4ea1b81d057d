// Many cards at once: results in card order whatever order the cards finish
// in, never more cards at once than asked, a card that throws fails alone,
// and the run's status is its most serious card's.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "card_runner.h"
#include "progress.h"

namespace {

TEST(CardRunner, ResultsComeInCardOrderWithAtMostJobsAtOnceAndAFailureStaysWithItsCard) {
    EXPECT_EQ(worker_count(40, 0), 16);
    std::atomic<int> running{0}, most{0};
    std::vector<std::string> handed_on;
    const auto results = run_cards(
        std::vector<card_result>(6), 3,
        [&](std::size_t i, card_result& r) {
            const int now = ++running;
            for (int m = most; now > m && !most.compare_exchange_weak(m, now);) {
            }
            // Earlier cards take longer, so later ones finish first.
            std::this_thread::sleep_for(std::chrono::milliseconds(5 * (6 - static_cast<int>(i))));
            r.text = std::to_string(i);
            r.written = true;
            --running;
            if (i == 2)
                throw std::runtime_error("disk full");
            if (i == 4)
                throw ctl_error(ctl_status::lock_timeout, "stayed locked");
        },
        [&](const card_result& r) { handed_on.push_back(r.text); });
    const std::vector<std::string> in_order = {"0", "1", "2", "3", "4", "5"};
    EXPECT_EQ(handed_on, in_order);
    EXPECT_LE(most.load(), 3);
    EXPECT_GT(most.load(), 1) << "one card at a time";
    for (std::size_t i = 0; i < results.size(); ++i) {
        const ctl_status want = i == 2 ? ctl_status::io_failure : i == 4 ? ctl_status::lock_timeout : ctl_status::ok;
        EXPECT_EQ(results[i].text, in_order[i]);
        EXPECT_EQ(results[i].status, want) << i;
        EXPECT_EQ(results[i].outcome, want == ctl_status::ok ? "" : "failed") << i;
        EXPECT_EQ(results[i].error, i == 2 ? "disk full" : i == 4 ? "stayed locked" : "") << i;
        EXPECT_TRUE(results[i].written) << i;
    }
}

TEST(CardRunner, TheMostSeriousStatusWinsWhateverTheOrder) {
    const std::vector<ctl_status> rising = {ctl_status::ok,           ctl_status::problems,
                                            ctl_status::not_found,    ctl_status::usage,
                                            ctl_status::image_refused, ctl_status::lock_timeout,
                                            ctl_status::history_not_written, ctl_status::io_failure};
    for (std::size_t i = 1; i < rising.size(); ++i) {
        std::vector<card_result> results(2);
        results[0].status = rising[i - 1];
        results[1].status = rising[i];
        EXPECT_EQ(most_serious(results), rising[i]) << status_code(rising[i]);
        std::reverse(results.begin(), results.end());
        EXPECT_EQ(most_serious(results), rising[i]) << status_code(rising[i]);
    }
}

TEST(CardRunner, TheBoardRewritesOnlyTheCardsOwnLine) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        card_board board({"0000:03:00.0", "0000:04:00.0", "0000:05:00.0"}, true, out);
        board.show(1, "writing firmware");
        board.show(7, "no such line");
    }
    std::rewind(out);
    char buf[512] = {};
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, out);
    std::fclose(out);
    EXPECT_EQ(std::string(buf, n),
              "0000:03:00.0  waiting\n0000:04:00.0  waiting\n0000:05:00.0  waiting\n"
              "\033[2A\r\033[2K0000:04:00.0  writing firmware\033[2B\r");
}

}  // namespace
