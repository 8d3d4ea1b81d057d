// Many cards at once: results in card order whatever order the cards finish
// in, never more cards at once than asked, a card that throws fails alone, and
// the run's status is its most serious card's.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include "card_runner.h"
#include "progress.h"
#include "record/run_context.h"

namespace {

std::vector<card_result> seeds(std::size_t n) {
    std::vector<card_result> s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i].pci_address = "0000:0" + std::to_string(i) + ":00.0";
    return s;
}

TEST(CardRunner, ResultsAndBlocksComeInCardOrderWithAtMostJobsAtOnce) {
    EXPECT_EQ(worker_count(40, 0), 16);
    std::atomic<int> running{0}, most{0};
    std::vector<std::string> handed_on;
    const auto results = run_cards(
        seeds(6), 3,
        [&](std::size_t i, card_result& r) {
            const int now = ++running;
            for (int m = most; now > m && !most.compare_exchange_weak(m, now);) {
            }
            // Earlier cards take longer, so later ones finish first.
            std::this_thread::sleep_for(std::chrono::milliseconds(5 * (6 - static_cast<int>(i))));
            r.text = std::to_string(i);
            --running;
        },
        [&](const card_result& r) { handed_on.push_back(r.text); });
    const std::vector<std::string> in_order = {"0", "1", "2", "3", "4", "5"};
    EXPECT_EQ(handed_on, in_order);
    for (std::size_t i = 0; i < results.size(); ++i)
        EXPECT_EQ(results[i].text, in_order[i]);
    EXPECT_LE(most.load(), 3);
    EXPECT_GT(most.load(), 1) << "one card at a time";
}

TEST(CardRunner, AThrowingCardFailsAloneKeepingWhatItRecorded) {
    const auto results = run_cards(seeds(3), 0, [](std::size_t i, card_result& r) {
        r.written = true;
        if (i == 1)
            throw ctl_error(ctl_status::lock_timeout, "the maintain file of eth1 stayed locked");
        if (i == 2)
            throw std::runtime_error("disk full");
        r.outcome = "written";
    });
    const struct {
        ctl_status status;
        const char *outcome, *error;
    } want[] = {{ctl_status::ok, "written", ""},
                {ctl_status::lock_timeout, "failed", "the maintain file of eth1 stayed locked"},
                {ctl_status::io_failure, "failed", "disk full"}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(results[i].status, want[i].status) << i;
        EXPECT_EQ(results[i].outcome, want[i].outcome) << i;
        EXPECT_EQ(results[i].error, want[i].error) << i;
        EXPECT_TRUE(results[i].written) << i;
    }
}

TEST(CardRunner, TheMostSeriousStatusWinsWhateverTheOrder) {
    const struct {
        ctl_status a, b;
    } rows[] = {{ctl_status::ok, ctl_status::problems},          {ctl_status::not_found, ctl_status::usage},
                {ctl_status::image_refused, ctl_status::lock_timeout}, {ctl_status::lock_timeout, ctl_status::history_not_written},
                {ctl_status::history_not_written, ctl_status::io_failure}};
    for (const auto& row : rows) {
        std::vector<card_result> results(2);
        results[0].status = row.a;
        results[1].status = row.b;
        EXPECT_EQ(most_serious(results), row.b) << status_code(row.a);
        std::reverse(results.begin(), results.end());
        EXPECT_EQ(most_serious(results), row.b) << status_code(row.a);
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

TEST(CardRunner, ARunOnOneThreadDoesNotSeeOrClearAnothersRecordChange) {
    const run_context mine;
    ucfg_mac_sn_dirty = 1;  // as a setter of this thread's card does
    std::promise<bool> other_saw;
    std::promise<void> checked;
    std::thread other([&] {
        const run_context theirs;
        other_saw.set_value(theirs.record_changed());
        checked.get_future().wait();
    });
    EXPECT_FALSE(other_saw.get_future().get());
    EXPECT_TRUE(mine.record_changed()) << "another thread's run cleared this thread's change";
    checked.set_value();
    other.join();
}

}  // namespace
