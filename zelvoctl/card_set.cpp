#include "card_set.h"

#include "base/file_io.h"
#include "record/run_context.h"

void check_selection(const card_selection& sel) {
    if (sel.jobs && *sel.jobs < 1)
        throw ctl_error(ctl_status::usage, "--jobs takes a number of cards of 1 or more, not " + std::to_string(*sel.jobs));
    if (sel.all && !sel.devices.empty())
        throw ctl_error(ctl_status::usage, "give DEVICE or --all, not both");
}

std::vector<outcome_word> write_words(bool dry_run) {
    return {dry_run ? outcome_word{"would_write", "to write"} : outcome_word{"written", "written"},
            {"up_to_date", "already up to date"}};
}

command_result run_card_set(session& s, const card_selection& sel, bool hold, const std::vector<outcome_word>& words,
                            const card_work& work, const card_ended& ended) {
    check_selection(sel);
    const std::vector<const card*> cards = s.card_set(sel.devices, sel.all);
    std::vector<card_result> seeds(cards.size());
    std::vector<std::string> labels;
    for (std::size_t i = 0; i < cards.size(); ++i) {
        seeds[i].pci_address = pci_address(*cards[i]->first);
        seeds[i].interface = cards[i]->first->name;
        labels.push_back(seeds[i].pci_address);
    }
    const global_options& g = s.options();
    card_board board(labels, card_board::wanted(g.quiet));
    auto job = [&](std::size_t i, card_result& r) {
        const progress report(board, i);
        buffer_sink said;  // this card's library texts, apart from every other card's
        const run_context run(said);
        try {
            card_channel channel(s, *cards[i], hold, true);
            try {
                work(*cards[i], channel, report, r);
            } catch (const ctl_error& e) {
                throw by_fault(e, channel.flash().fault(), said.last_line());
            }
        } catch (...) {
            report.step("failed");
            if (ended)
                ended(*cards[i]);
            throw;
        }
        report.step("done: " + r.outcome);
        if (ended)
            ended(*cards[i]);
    };
    auto print = [&](const card_result& r) {
        const std::string block = card_block(r);
        write_file_full(g.out_fd, reinterpret_cast<const u8*>(block.data()), static_cast<int>(block.size()));
    };
    const std::vector<card_result> results =
        run_cards(std::move(seeds), sel.jobs.value_or(0), job, g.json ? card_ready{} : card_ready{print});
    command_result r;
    r.doc = card_set_json(results, words);
    r.text = summary_line(results, words);
    r.status = most_serious(results);
    return r;
}
