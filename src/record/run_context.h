// What one run owns beyond its settings: the message sink every layer writes
// its texts to, and the user record's change marker `ucfg_mac_sn_dirty`,
// which every setter raises and which decides whether the record is saved.
// A run_context installs its sink and clears the marker for the calling
// thread when a run starts, and puts back what it found when the run ends, so
// that runs made in one process (the tool's main, each card of a front end
// working on several, each test case, each fuzz input) never see each
// other's texts or changes. Both belong to the thread: runs on different
// threads each have their own.
#pragma once

#include "base/message_sink.h"
#include "cfg.h"

class run_context {
public:
    // Keeps the sink already installed for this thread.
    run_context() : outer_(ucfg_mac_sn_dirty), outer_sink_(install_message_sink(nullptr)) {
        install_message_sink(outer_sink_);
        ucfg_mac_sn_dirty = 0;
    }
    // The run's texts go to `sink`, which must outlive the run.
    explicit run_context(message_sink& sink) : outer_(ucfg_mac_sn_dirty), outer_sink_(install_message_sink(&sink)) {
        ucfg_mac_sn_dirty = 0;
    }
    ~run_context() {
        ucfg_mac_sn_dirty = outer_;
        install_message_sink(outer_sink_);
    }
    run_context(const run_context&) = delete;
    run_context& operator=(const run_context&) = delete;

    // Whether any setter stored into a record during this run.
    bool record_changed() const { return ucfg_mac_sn_dirty != 0; }

private:
    int outer_;
    message_sink* outer_sink_;
};
