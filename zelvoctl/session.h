// What every zelvoctl command works on: the scanned interfaces grouped into
// cards, the flash channel (live, or an image file standing in for a card),
// the output mode, and the document a command builds.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "card_inventory.h"
#include "ctl_error.h"
#include "flash/card_lock.h"
#include "flash/maintain_channel.h"
#include "history.h"
#include "progress.h"
#include "reaching_flash.h"
#include "record_decode.h"

constexpr int SCHEMA_VERSION = 1;

constexpr int DEFAULT_LOCK_WAIT_S = 10;

struct global_options {
    bool json = false;
    bool quiet = false;
    int lock_wait_s = DEFAULT_LOCK_WAIT_S;  // how long to wait for a card's maintain lock
    std::string history = DEFAULT_HISTORY;  // where every change to a card is recorded
    int out_fd = 1;  // where the human blocks of many cards are printed as they finish
};

// Every interface's maintain lock of one card, held while it lives; the
// session's flash reaches the card through the held descriptors meanwhile.
class card_hold {
public:
    card_hold(maintain_channel& channel, reaching_flash& reach, const card& c, int limit_s);
    ~card_hold() {
        channel_.hold(nullptr);
        reach_.hold(nullptr);
    }
    card_hold(const card_hold&) = delete;
    card_hold& operator=(const card_hold&) = delete;

private:
    maintain_channel& channel_;
    reaching_flash& reach_;
    card_lock lock_;
};

class session;

// One card's way to its flash, holding the card for a writing command while
// it lives. `own`: a channel of its own on the live cards, reaching the card
// through any of its interfaces as the session's does, so that cards can be
// worked on at once (the session's holds one card at a time); otherwise, and
// on an image file, the session's.
class card_channel {
public:
    card_channel(session& s, const card& c, bool hold, bool own);
    flash_access& flash() { return *flash_; }

private:
    std::unique_ptr<maintain_channel> own_;
    std::unique_ptr<reaching_flash> own_reach_;  // over own_
    flash_access* flash_;
    std::unique_ptr<card_hold> hold_;
};

// The outcome of one command: the JSON document's body, the human text, and
// the status (ok, or problems found).
struct command_result {
    json doc = json::object();
    std::string text;
    ctl_status status = ctl_status::ok;
};

class session {
public:
    // Scans the host's cards; with `image_file`, serves that flash image as
    // the only card instead (reads only), named "image".
    explicit session(const global_options& options, const std::string& image_file = "");

    flash_access& flash() { return reach_ ? *reach_ : *flash_; }
    const flash_access& flash() const { return reach_ ? *reach_ : *flash_; }
    const std::vector<card>& cards() const { return cards_; }
    const progress& report() const { return report_; }
    bool from_image() const { return image_card_.has_value(); }

    // The interfaces a command acts on: the one DEVICE names, or with `all`
    // the first interface of every card. Throws not_found.
    std::vector<const eth_dev*> targets(const std::string& device, bool all);
    const card& card_holding(const eth_dev& dev) const;

    // Holds card `c` for a writing command, from its first read to its last
    // read-back. Throws lock_timeout or io_failure; nothing for an image file.
    std::unique_ptr<card_hold> hold(const card& c);

    // The history file, opened on first use (by whichever card's thread
    // comes first): a writing command opens it before its first write, so a
    // history that cannot be opened stops it before the card is touched.
    // Throws io_failure.
    history_file& history();

    // Prints human text at once (nothing with --json), ahead of the
    // command's result: what a command on one card is about to do.
    void tell(const std::string& text) const;

    // The cards a command over many cards works on, in PCI address order:
    // every card with `all`, else each card holding a named interface, once.
    std::vector<const card*> card_set(const std::vector<std::string>& devices, bool all);

    const global_options& options() const { return options_; }

private:
    friend class card_channel;
    global_options options_;
    device_list devices_;
    std::vector<card> cards_;
    std::unique_ptr<flash_access> flash_;  // the live channel, or the image file
    maintain_channel* live_ = nullptr;     // flash_ when it is the live channel
    std::unique_ptr<reaching_flash> reach_;  // over the live channel
    progress report_;
    int lock_wait_s_;
    std::mutex history_opening_;  // card threads open the history once
    std::unique_ptr<history_file> history_;
    std::optional<card> image_card_;
};
