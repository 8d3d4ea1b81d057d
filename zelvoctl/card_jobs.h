// Runs one job per card and collects the results in card order. Each job
// gets only its card; whatever it shares (flash channel, ledger) must take
// turns itself, and its output is built from its result afterwards.
#pragma once

#include <functional>
#include <vector>

#include "card_inventory.h"

template <typename Result>
std::vector<Result> for_each_card(const std::vector<const card*>& cards, const std::function<Result(const card&)>& job) {
    std::vector<Result> results;
    results.reserve(cards.size());
    for (const card* c : cards)
        results.push_back(job(*c));
    return results;
}
