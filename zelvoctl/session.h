// What every zelvoctl command works on: the scanned interfaces grouped into
// cards, the flash channel (live, or an image file standing in for a card),
// the output mode, and the document a command builds.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "card_inventory.h"
#include "ctl_error.h"
#include "flash/maintain_channel.h"
#include "progress.h"
#include "record_decode.h"

constexpr int SCHEMA_VERSION = 1;

struct global_options {
    bool json = false;
    bool quiet = false;
    int out_fd = 1;  // where the human blocks of many cards are printed as they finish
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

    flash_access& flash() { return *flash_; }
    const std::vector<card>& cards() const { return cards_; }
    const progress& report() const { return report_; }
    bool from_image() const { return image_card_.has_value(); }

    // The interfaces a command acts on: the one DEVICE names, or with `all`
    // the first interface of every card. Throws not_found.
    std::vector<const eth_dev*> targets(const std::string& device, bool all);
    const card& card_holding(const eth_dev& dev) const;
    // The cards a command over many cards works on, in PCI address order:
    // every card with `all`, else each card holding a named interface, once.
    std::vector<const card*> card_set(const std::vector<std::string>& devices, bool all);

    const global_options& options() const { return options_; }

private:
    global_options options_;
    device_list devices_;
    std::vector<card> cards_;
    std::unique_ptr<flash_access> flash_;  // the live channel, or the image file
    progress report_;
    std::optional<card> image_card_;
};
