// A per-card command over a set of cards (--all, several DEVICEs or --jobs):
// each card's work in its own job, its human block printed once it is done,
// in PCI order, then one summary line; with --json one document with a
// result per card.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "card_runner.h"
#include "session.h"

struct card_selection {
    std::vector<std::string> devices;
    bool all = false;
    std::optional<int> jobs;  // --jobs: at most this many cards at a time

    // Whether the command works on a set of cards rather than one DEVICE.
    bool many() const { return all || devices.size() > 1 || jobs.has_value(); }
    // The one DEVICE of a single-card run.
    std::string device() const { return devices.empty() ? std::string() : devices.front(); }
};

// Refuses --jobs below 1 and DEVICE together with --all (usage errors).
void check_selection(const card_selection& sel);

// One card's work, through the card's own channel.
using card_work = std::function<void(const card& c, card_channel& channel, const progress& report, card_result& r)>;

// Called once a card's work has ended, however it ended (its channel may
// not even have opened).
using card_ended = std::function<void(const card& c)>;

// The outcomes of a writing command: written (or, in a dry run, to write)
// and already up to date.
std::vector<outcome_word> write_words(bool dry_run);

// Runs `work` on every selected card, each in a run of its own (its own
// message sink) on a channel of its own, holding the card throughout when
// `hold`; `words` name the outcomes of the summary (see summary_line).
command_result run_card_set(session& s, const card_selection& sel, bool hold, const std::vector<outcome_word>& words,
                            const card_work& work, const card_ended& ended = {});
