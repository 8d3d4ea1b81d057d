// The zelvoctl commands. Each builds its result from the session and throws
// ctl_error for a refusal or failure.
#pragma once

#include <string>
#include <vector>

#include "burn_plan.h"
#include "card_set.h"
#include "session.h"

struct target_options {
    std::string device;
    bool all = false;
};

command_result run_list(session& s);
command_result run_show(session& s, const target_options& t);

struct set_options {
    std::vector<std::string> fields;
    bool dry_run = false;
    bool force = false;  // write a MAC or serial another card already carries
};
// With many cards only fields that are no card's identity.
command_result run_set(session& s, const set_options& o, const card_selection& sel);

command_result run_check(session& s);

struct backup_options {
    std::string to;  // empty: a new folder under DEFAULT_BACKUP_ROOT
};
command_result run_backup(session& s, const backup_options& o, const card_selection& sel);

struct restore_options {
    std::string device;
    std::string from;
    bool other_card = false;  // write a backup of another card, after backing this one up
    std::string backup_dir;   // where that backup goes; empty: a new folder under DEFAULT_BACKUP_ROOT
    bool force = false;       // leave a MAC or serial another card carries
};
command_result run_restore(session& s, const restore_options& o);

command_result run_burn(session& s, const burn_options& o, const card_selection& sel);
command_result run_verify(session& s, const burn_options& o, const card_selection& sel);

struct provision_options {
    std::string pool_file;
    std::string ledger;      // sqlite:PATH or a postgresql:// URI
    std::string station;     // empty: the host name
    std::string backup_dir;  // empty: DEFAULT_BACKUP_ROOT
    bool dry_run = false;
    bool force = false;  // renumber a card whose serial the ledger does not know
};
command_result run_provision(session& s, const provision_options& o, const card_selection& sel);

struct ledger_options {
    std::string ledger;
    std::string pool;         // empty: every pool
    bool csv = false;
    std::string void_serial;  // `ledger void SERIAL`
};
command_result run_ledger(const ledger_options& o);

struct history_options {
    std::string file;    // the history file
    std::string device;  // empty: every card; else an interface, PCI address or serial
};
command_result run_history(const history_options& o);
