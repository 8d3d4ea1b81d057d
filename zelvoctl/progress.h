// Progress lines of long steps on standard error, only when it is a terminal
// and --quiet was not given, so scripts and JSON readers never see them.
// Many cards at once share one card_board: a line per card, rewritten in
// place.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

class card_board;

class progress {
public:
    explicit progress(bool quiet);
    // The steps of one card, shown on its line of `board`.
    progress(card_board& board, std::size_t line) : on_(true), board_(&board), line_(line) {}
    void step(const std::string& what) const;

private:
    bool on_;
    card_board* board_ = nullptr;
    std::size_t line_ = 0;
};

class card_board {
public:
    // Whether a board shows on standard error: a terminal, not --quiet.
    static bool wanted(bool quiet);

    // Draws a line "LABEL  waiting" per label on `out` when `on`.
    card_board(std::vector<std::string> labels, bool on, std::FILE* out = stderr);
    card_board(const card_board&) = delete;
    card_board& operator=(const card_board&) = delete;

    // Rewrites line `line` as "LABEL  WHAT", the cursor left below the board.
    void show(std::size_t line, const std::string& what);

private:
    std::vector<std::string> labels_;
    bool on_;
    std::FILE* out_;
    std::mutex mu_;
};
