// What one run owns beyond its settings: the user record's change marker
// `ucfg_mac_sn_dirty`, which every setter raises and which decides whether
// the record is saved. A run_context clears it when a run starts and puts
// back what it found when the run ends, so that runs made in one process (the
// tool's main, each test case, each fuzz input) never see each other's
// changes.
#pragma once

#include "cfg.h"

class run_context {
public:
    run_context() : outer_(ucfg_mac_sn_dirty) { ucfg_mac_sn_dirty = 0; }
    ~run_context() { ucfg_mac_sn_dirty = outer_; }
    run_context(const run_context&) = delete;
    run_context& operator=(const run_context&) = delete;

    // Whether any setter stored into a record during this run.
    bool record_changed() const { return ucfg_mac_sn_dirty != 0; }

private:
    int outer_;
};
