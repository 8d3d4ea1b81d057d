// Many cards at once: one job per card on a bounded number of threads, each
// card's result kept apart, handed on in the order of the card list (PCI
// order) as soon as every card before it is done, and folded into one
// summary and one exit status.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "ctl_error.h"
#include "record_decode.h"

constexpr int MAX_CARD_JOBS = 16;

// What one card's work ended in.
struct card_result {
    std::string pci_address;
    std::string interface;
    ctl_status status = ctl_status::ok;
    std::string outcome;    // a word of the command's summary ("written", "up_to_date", ...) or "failed"
    bool written = false;   // a write request reached this card
    json doc = json::object();  // the command's own keys for this card
    std::string text;       // the human block, without its heading
    std::string error;      // what went wrong, when failed (or, for a command that says so, refused)
    json error_details = json::object();  // more members of its JSON error (card_written, backup)
};

// One card's work: fills `r` (already naming the card). A job that throws
// leaves what it put into `r` (a backup folder, `written`) and the card is
// counted failed with the error's status and message.
using card_job = std::function<void(std::size_t index, card_result& r)>;

// Called for each card once it and every card before it are done, in list
// order, one at a time.
using card_ready = std::function<void(const card_result& r)>;

// Threads for `cards` cards when `jobs` were asked for (0: as many as
// cards), never more than MAX_CARD_JOBS nor than the cards.
int worker_count(std::size_t cards, int jobs);

// Runs `job` for every seed on worker_count(seeds.size(), jobs) threads;
// returns the results in seed order.
std::vector<card_result> run_cards(std::vector<card_result> seeds, int jobs, const card_job& job,
                                   const card_ready& ready = {});

// The status of a run whose cards ended in these statuses: ok when all are,
// otherwise the most serious one (an I/O failure above a card changed without
// its history line, above a lock time-out above a refused image, usage, a
// missing device and differences found).
ctl_status most_serious(const std::vector<card_result>& results);

// A word of a summary: the outcome it counts and how the human line says it.
struct outcome_word {
    const char* outcome;
    const char* said;
};

// "4 cards: 3 written, 1 already up to date, 0 failed"; `words` without
// "failed", which always comes last.
std::string summary_line(const std::vector<card_result>& results, const std::vector<outcome_word>& words);
json summary_json(const std::vector<card_result>& results, const std::vector<outcome_word>& words);

// The human block of one card: a heading naming the card, its text, and for
// a card that failed (or was refused) its outcome, status code and message.
std::string card_block(const card_result& r);

// The document body of a run over many cards: `cards` (one object per card:
// pci_address, interface, status, outcome, written, the command's keys,
// error), `summary`, and, when a card failed or was refused, `error` naming
// those cards with the most serious code.
json card_set_json(const std::vector<card_result>& results, const std::vector<outcome_word>& words);
