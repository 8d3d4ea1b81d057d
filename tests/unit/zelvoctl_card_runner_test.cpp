// Many cards at once: results come back in card order whatever order the
// cards finish in, never more cards run at once than asked, a card that
// throws fails alone, and the run's status is its most serious card's.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <future>

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

TEST(CardRunner, WorkerCountIsBoundedByCardsJobsAndSixteen) {
    const struct {
        std::size_t cards;
        int jobs;
        int want;
    } rows[] = {{4, 0, 4}, {4, 2, 2}, {2, 8, 2}, {40, 0, 16}, {40, 32, 16}, {0, 0, 1}};
    for (const auto& r : rows)
        EXPECT_EQ(worker_count(r.cards, r.jobs), r.want) << r.cards << " cards, --jobs " << r.jobs;
}

TEST(CardRunner, ResultsAndBlocksComeInCardOrderWithAtMostJobsAtOnce) {
    for (const int jobs : {1, 3, 0}) {
        std::atomic<int> running{0}, most{0};
        std::vector<std::string> handed_on;
        const auto results = run_cards(
            seeds(6), jobs,
            [&](std::size_t i, card_result& r) {
                const int now = ++running;
                for (int m = most; now > m && !most.compare_exchange_weak(m, now);) {
                }
                // Earlier cards take longer, so later ones finish first.
                std::this_thread::sleep_for(std::chrono::milliseconds(5 * (6 - static_cast<int>(i))));
                r.outcome = "written";
                r.text = std::to_string(i);
                --running;
            },
            [&](const card_result& r) { handed_on.push_back(r.text); });
        ASSERT_EQ(results.size(), 6u);
        for (std::size_t i = 0; i < 6; ++i)
            EXPECT_EQ(results[i].text, std::to_string(i));
        EXPECT_EQ(handed_on, (std::vector<std::string>{"0", "1", "2", "3", "4", "5"})) << "--jobs " << jobs;
        EXPECT_LE(most.load(), jobs == 0 ? 6 : jobs);
        if (jobs != 1) {
            EXPECT_GT(most.load(), 1) << "--jobs " << jobs << " ran one card at a time";
        }
    }
}

TEST(CardRunner, AThrowingCardFailsAloneKeepingWhatItRecorded) {
    const auto results = run_cards(seeds(4), 0, [](std::size_t i, card_result& r) {
        r.doc["backup"] = "/b/" + std::to_string(i);
        r.written = true;
        if (i == 1)
            throw ctl_error(ctl_status::problems, "read-back differs; restore with /b/1");
        if (i == 2)
            throw ctl_error(ctl_status::lock_timeout, "the maintain file of eth2 stayed locked");
        if (i == 3)
            throw std::runtime_error("disk full");
        r.outcome = "written";
    });
    const struct {
        ctl_status status;
        const char* outcome;
        const char* error;
    } want[] = {{ctl_status::ok, "written", ""},
                {ctl_status::problems, "failed", "read-back differs; restore with /b/1"},
                {ctl_status::lock_timeout, "failed", "the maintain file of eth2 stayed locked"},
                {ctl_status::io_failure, "failed", "disk full"}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(results[i].status, want[i].status) << i;
        EXPECT_EQ(results[i].outcome, want[i].outcome) << i;
        EXPECT_EQ(results[i].error, want[i].error) << i;
        EXPECT_EQ(results[i].doc["backup"], "/b/" + std::to_string(i)) << i;
        EXPECT_TRUE(results[i].written) << i;
    }
    EXPECT_EQ(most_serious(results), ctl_status::io_failure);
    const json doc = card_set_json(results, {{"written", "written"}});
    EXPECT_EQ(doc["error"]["code"], "io_failure");
    EXPECT_EQ(doc["error"]["message"],
              "3 of 4 cards failed: 0000:01:00.0 (problems_found), 0000:02:00.0 (lock_timeout), 0000:03:00.0 (io_failure)");
    EXPECT_EQ(doc["cards"][1]["error"]["message"], "read-back differs; restore with /b/1");
    EXPECT_FALSE(doc["cards"][0].contains("error"));
}

TEST(CardRunner, TheMostSeriousStatusWinsWhateverTheOrder) {
    const struct {
        std::vector<ctl_status> statuses;
        ctl_status want;
    } rows[] = {
        {{ctl_status::ok, ctl_status::ok}, ctl_status::ok},
        {{ctl_status::problems, ctl_status::ok}, ctl_status::problems},
        {{ctl_status::lock_timeout, ctl_status::image_refused}, ctl_status::lock_timeout},
        {{ctl_status::io_failure, ctl_status::lock_timeout}, ctl_status::io_failure},
        {{ctl_status::lock_timeout, ctl_status::history_not_written}, ctl_status::history_not_written},
        {{ctl_status::history_not_written, ctl_status::io_failure}, ctl_status::io_failure},
        {{ctl_status::problems, ctl_status::usage, ctl_status::not_found}, ctl_status::usage},
    };
    for (const auto& row : rows) {
        std::vector<card_result> results(row.statuses.size());
        for (std::size_t i = 0; i < results.size(); ++i)
            results[i].status = row.statuses[i];
        EXPECT_EQ(most_serious(results), row.want);
        std::reverse(results.begin(), results.end());
        EXPECT_EQ(most_serious(results), row.want);
    }
}

TEST(CardRunner, SummaryCountsEachOutcome) {
    std::vector<card_result> results(4);
    results[0].outcome = results[1].outcome = "written";
    results[2].outcome = "up_to_date";
    results[3].outcome = "failed";
    const std::vector<outcome_word> words = {{"written", "written"}, {"up_to_date", "already up to date"}};
    EXPECT_EQ(summary_line(results, words), "4 cards: 2 written, 1 already up to date, 1 failed\n");
    EXPECT_EQ(summary_json(results, words), json({{"cards", 4}, {"written", 2}, {"up_to_date", 1}, {"failed", 1}}));
    EXPECT_EQ(summary_line({results[2]}, words), "1 card: 0 written, 1 already up to date, 0 failed\n");
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
        const run_context theirs;  // another card's run starts meanwhile
        other_saw.set_value(theirs.record_changed());
        checked.get_future().wait();
    });
    EXPECT_FALSE(other_saw.get_future().get());
    EXPECT_TRUE(mine.record_changed()) << "another thread's run cleared this thread's change";
    checked.set_value();
    other.join();
}

}  // namespace
