#include "progress.h"

#include <unistd.h>

bool card_board::wanted(bool quiet) { return !quiet && ::isatty(STDERR_FILENO) == 1; }

progress::progress(bool quiet) : on_(card_board::wanted(quiet)) {}

void progress::step(const std::string& what) const {
    if (board_ != nullptr)
        board_->show(line_, what);
    else if (on_)
        std::fprintf(stderr, "zelvoctl: %s\n", what.c_str());
}

card_board::card_board(std::vector<std::string> labels, bool on, std::FILE* out)
    : labels_(std::move(labels)), on_(on && !labels_.empty()), out_(out) {
    if (!on_)
        return;
    for (const std::string& l : labels_)
        std::fprintf(out_, "%s  waiting\n", l.c_str());
    std::fflush(out_);
}

void card_board::show(std::size_t line, const std::string& what) {
    if (!on_ || line >= labels_.size())
        return;
    std::lock_guard lock(mu_);
    // Up to the card's line, clear it, write, and back down below the board.
    const std::size_t up = labels_.size() - line;
    std::fprintf(out_, "\033[%zuA\r\033[2K%s  %s\033[%zuB\r", up, labels_[line].c_str(), what.c_str(), up);
    std::fflush(out_);
}
