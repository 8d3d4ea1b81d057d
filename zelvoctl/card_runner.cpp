#include "card_runner.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>


namespace {

// How serious a card's status is: what a script must look at first. An I/O
// failure may leave a card part-written; a lock time-out or a refusal left it
// untouched; a card changed without its history line is to be written down
// by hand; differences found are a finding, not a failure.
int rank(ctl_status s) {
    switch (s) {
    case ctl_status::ok: return 0;
    case ctl_status::problems: return 1;
    case ctl_status::not_found: return 2;
    case ctl_status::usage: return 3;
    case ctl_status::image_refused: return 4;
    case ctl_status::lock_timeout: return 5;
    case ctl_status::history_not_written: return 6;
    case ctl_status::io_failure: return 7;
    }
    return 7;
}

void fail(card_result& r, ctl_status status, const std::string& message, const json& details = json::object()) {
    r.status = status;
    r.outcome = "failed";
    r.error = message;
    r.error_details = details;
}

// Runs one job; whatever it throws becomes the card's failure.
void run_one(const card_job& job, std::size_t i, card_result& r) {
    try {
        job(i, r);
    } catch (const ctl_error& e) {
        fail(r, e.status(), e.what(), e.details());
    } catch (const std::exception& e) {
        fail(r, ctl_status::io_failure, e.what());
    }
    if (r.status != ctl_status::ok && r.outcome.empty())
        r.outcome = "failed";
}

std::size_t count(const std::vector<card_result>& results, const std::string& outcome) {
    return static_cast<std::size_t>(
        std::count_if(results.begin(), results.end(), [&](const card_result& r) { return r.outcome == outcome; }));
}

}  // namespace

int worker_count(std::size_t cards, int jobs) {
    const std::size_t asked = jobs > 0 ? static_cast<std::size_t>(jobs) : cards;
    return static_cast<int>(std::max<std::size_t>(1, std::min({asked, cards, std::size_t{MAX_CARD_JOBS}})));
}

std::vector<card_result> run_cards(std::vector<card_result> seeds, int jobs, const card_job& job,
                                   const card_ready& ready) {
    std::atomic<std::size_t> next{0};
    std::mutex mu;
    std::vector<bool> done(seeds.size(), false);
    std::size_t handed_on = 0;  // cards passed to `ready`, in order
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < seeds.size();) {
            run_one(job, i, seeds[i]);
            std::lock_guard lock(mu);
            done[i] = true;
            // Whoever completes the card that the next in line waited for
            // hands on every finished card from there.
            for (; handed_on < seeds.size() && done[handed_on]; ++handed_on)
                if (ready)
                    ready(seeds[handed_on]);
        }
    };
    std::vector<std::thread> threads;
    const int n = worker_count(seeds.size(), jobs);
    for (int t = 1; t < n; ++t)
        threads.emplace_back(work);
    work();
    for (std::thread& t : threads)
        t.join();
    return seeds;
}

ctl_status most_serious(const std::vector<card_result>& results) {
    ctl_status worst = ctl_status::ok;
    for (const card_result& r : results)
        if (rank(r.status) > rank(worst))
            worst = r.status;
    return worst;
}

std::string summary_line(const std::vector<card_result>& results, const std::vector<outcome_word>& words) {
    std::string line = std::to_string(results.size()) + (results.size() == 1 ? " card: " : " cards: ");
    for (const outcome_word& w : words)
        line += std::to_string(count(results, w.outcome)) + " " + w.said + ", ";
    return line + std::to_string(count(results, "failed")) + " failed\n";
}

json summary_json(const std::vector<card_result>& results, const std::vector<outcome_word>& words) {
    json s = {{"cards", results.size()}};
    for (const outcome_word& w : words)
        s[w.outcome] = count(results, w.outcome);
    s["failed"] = count(results, "failed");
    return s;
}

std::string card_block(const card_result& r) {
    std::string block = "== " + r.pci_address + " " + r.interface + "\n" + r.text;
    if (!r.error.empty())
        block += r.outcome + " (" + status_code(r.status) + "): " + r.error + "\n";
    return block;
}

json card_set_json(const std::vector<card_result>& results, const std::vector<outcome_word>& words) {
    json cards = json::array();
    std::string failed;
    std::size_t failures = 0;
    for (const card_result& r : results) {
        json c = {{"pci_address", r.pci_address}, {"interface", r.interface}, {"status", static_cast<int>(r.status)},
                  {"outcome", r.outcome}, {"written", r.written}};
        c.update(r.doc);
        if (!r.error.empty()) {
            c["error"] = {{"code", status_code(r.status)}, {"message", r.error}};
            c["error"].update(r.error_details);
            ++failures;
            failed += (failed.empty() ? "" : ", ") + r.pci_address + " (" + status_code(r.status) + ")";
        }
        cards.push_back(std::move(c));
    }
    json body = {{"cards", std::move(cards)}, {"summary", summary_json(results, words)}};
    if (!failed.empty())
        body["error"] = {{"code", status_code(most_serious(results))},
                         {"message", std::to_string(failures) + " of " +
                                         std::to_string(results.size()) + " cards failed: " + failed}};
    return body;
}
