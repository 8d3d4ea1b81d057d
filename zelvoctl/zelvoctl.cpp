// zelvoctl: safe burns, backups and machine-readable output for Zelvo cards,
// on the same library as kv7update_tool.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstring>
#include <optional>

#include "commands.h"
#include "base/file_io.h"
#include "ledger.h"
#include "record/run_context.h"

namespace {

struct cli_choice {
    global_options global;
    std::string command, image;
    target_options target;
    set_options set;
    backup_options backup;
    restore_options restore;
    burn_options burn;
    provision_options provision;
    ledger_options ledger;
    history_options history;
    card_selection cards;  // of burn, verify, backup, set and provision
    std::string set_device;
};

void write_all(int fd, const std::string& text) {
    // Nothing is left to report a failure to: the document is the last word.
    write_file_full(fd, reinterpret_cast<const u8*>(text.data()), static_cast<int>(text.size()));
}

void add_target(CLI::App* cmd, target_options& t) {
    cmd->add_option("DEVICE", t.device, "interface name or PCI address");
    cmd->add_flag("--all", t.all, "one interface per card");
}

// DEVICE..., --all and --jobs of a command that works on one card or many.
void add_card_selection(CLI::App* cmd, card_selection& sel) {
    cmd->add_option("DEVICE", sel.devices, "interface names or PCI addresses");
    cmd->add_flag("--all", sel.all, "every card");
    cmd->add_option("--jobs", sel.jobs, "at most N cards at a time (default: all, at most 16)");
}

void build_cli(CLI::App& app, cli_choice& c) {
    app.require_subcommand(1);
    app.set_version_flag("--version", "zelvoctl " ZELVOCTL_VERSION, "print the version and exit");
    app.add_flag("--json", c.global.json, "one JSON document on standard output")->configurable(false);
    app.add_flag("-q,--quiet", c.global.quiet, "no progress on standard error");
    app.add_option("--lock-wait", c.global.lock_wait_s, "seconds to wait for a card's maintain lock (default 10)")
        ->check(CLI::Range(0, 3600));
    app.add_option("--history", c.global.history, "the history file every change is recorded in (default " +
                                                      std::string(DEFAULT_HISTORY) + ")");
    app.fallthrough();
    app.add_subcommand("list", "every supported card and its interfaces");
    CLI::App* show = app.add_subcommand("show", "the decoded user record, versions and factory record");
    add_target(show, c.target);
    show->add_option("--image", c.image, "a flash image file instead of a card");
    CLI::App* set = app.add_subcommand("set", "change fields of the user record");
    // One DEVICE, or --all: the fields follow.
    set->add_option("DEVICE", c.set_device, "interface name or PCI address");
    set->add_option("FIELDS", c.set.fields, "FIELD=VALUE ...");
    set->add_flag("--all", c.cards.all, "every card (fields that are no card's identity)");
    set->add_option("--jobs", c.cards.jobs, "at most N cards at a time (default: all, at most 16)");
    set->add_flag("--dry-run", c.set.dry_run, "show the changes, write nothing");
    set->add_flag("--force", c.set.force, "write a MAC or serial another card carries");
    CLI::App* backup = app.add_subcommand("backup", "save every readable partition with a manifest");
    add_card_selection(backup, c.cards);
    backup->add_option("--to", c.backup.to, "backup folder");
    CLI::App* restore = app.add_subcommand("restore", "write a backup back and verify it");
    restore->add_option("DEVICE", c.restore.device, "interface name or PCI address")->required();
    restore->add_option("--from", c.restore.from, "backup folder")->required();
    restore->add_flag("--other-card", c.restore.other_card, "write a backup of another card, after backing this one up");
    restore->add_option("--backup-dir", c.restore.backup_dir, "where that backup of this card goes");
    restore->add_flag("--force", c.restore.force, "write a MAC or serial another card carries");
    CLI::App* burn = app.add_subcommand("burn", "write firmware (and PXE) images, keeping the card's record");
    add_card_selection(burn, c.cards);
    burn->add_option("--fw", c.burn.fw, "firmware image file")->required();
    burn->add_option("--pxe", c.burn.pxe, "PXE image file");
    burn->add_flag("--overwrite-identity", c.burn.overwrite_identity, "write the image's user area too");
    burn->add_flag("--dry-run", c.burn.dry_run, "print the plan, write nothing");
    burn->add_option("--backup-dir", c.burn.backup_dir, "where the backup taken first goes");
    burn->add_flag("--no-backup", c.burn.no_backup, "take no backup first");
    burn->add_flag("--force", c.burn.force, "write partitions that already hold these bytes, and a MAC or serial another card carries");
    CLI::App* verify = app.add_subcommand("verify", "compare the card with what a burn would write");
    add_card_selection(verify, c.cards);
    verify->add_option("--fw", c.burn.fw, "firmware image file")->required();
    verify->add_option("--pxe", c.burn.pxe, "PXE image file");
    verify->add_option("--image", c.image, "a flash image file instead of a card");
    CLI::App* check = app.add_subcommand("check", "duplicate MACs and serials, invalid user records");
    check->add_option("--image", c.image, "a flash image file instead of the host's cards");
    CLI::App* provision = app.add_subcommand("provision", "give cards the next serial and MACs of a pool");
    add_card_selection(provision, c.cards);
    provision->add_option("--pool", c.provision.pool_file, "pool file (JSON)")->required();
    provision->add_option("--ledger", c.provision.ledger, "sqlite:PATH or postgresql://...")->default_val(DEFAULT_LEDGER);
    provision->add_option("--station", c.provision.station, "this station's name in the ledger (default: host name)");
    provision->add_option("--backup-dir", c.provision.backup_dir, "folder for the cards' backups");
    provision->add_flag("--dry-run", c.provision.dry_run, "show what each card would get, write nothing");
    provision->add_flag("--force", c.provision.force, "renumber a card whose serial the ledger does not know");
    CLI::App* ledger = app.add_subcommand("ledger", "the identities given out: table, --json or --csv");
    ledger->fallthrough();
    ledger->add_option("--ledger", c.ledger.ledger, "sqlite:PATH or postgresql://...")->default_val(DEFAULT_LEDGER);
    ledger->add_option("--pool", c.ledger.pool, "only this pool's rows");
    ledger->add_flag("--csv", c.ledger.csv, "committed identities as CSV: serial, MACs, device id, pool, time");
    CLI::App* void_cmd = ledger->add_subcommand("void", "mark a reservation whose card is gone void");
    void_cmd->add_option("SERIAL", c.ledger.void_serial, "serial number")->required();
    CLI::App* history = app.add_subcommand("history", "the changes zelvoctl made to cards, oldest first");
    history->add_option("DEVICE", c.history.device, "only this card: interface, PCI address or serial");
}

command_result dispatch(cli_choice& c, std::optional<session>& session_made) {
    if (c.command == "ledger")
        return run_ledger(c.ledger);
    if (c.command == "history") {
        c.history.file = c.global.history;
        return run_history(c.history);
    }
    session& s = session_made.emplace(c.global, c.image);
    if (c.command == "list")
        return run_list(s);
    if (c.command == "show")
        return run_show(s, c.target);
    if (c.command == "set")
        return run_set(s, c.set, c.cards);
    if (c.command == "check")
        return run_check(s);
    if (c.command == "backup")
        return run_backup(s, c.backup, c.cards);
    if (c.command == "burn")
        return run_burn(s, c.burn, c.cards);
    if (c.command == "verify")
        return run_verify(s, c.burn, c.cards);
    if (c.command == "provision")
        return run_provision(s, c.provision, c.cards);
    return run_restore(s, c.restore);
}

json document(const std::string& command) {
    return {{"schema_version", SCHEMA_VERSION}, {"command", command}};
}

// Prints the result or the error in the chosen form; returns the exit status.
int finish(int out_fd, const cli_choice& c, const command_result* r, ctl_status status, const std::string& error,
           const json& details = json::object()) {
    if (c.global.json) {
        json doc = document(c.command);
        if (r != nullptr) {
            doc.update(r->doc);
        } else {
            doc["error"] = {{"code", status_code(status)}, {"message", error}};
            doc["error"].update(details);
        }
        doc["status"] = static_cast<int>(status);
        write_all(out_fd, doc.dump(2) + "\n");
    } else if (r != nullptr) {
        write_all(out_fd, r->text);
    } else {
        write_all(STDERR_FILENO, "zelvoctl: " + error + "\n");
    }
    return static_cast<int>(status);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"zelvoctl: flash maintenance of Zelvo PCIe Ethernet cards"};
    cli_choice c;
    build_cli(app, c);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        for (int i = 1; i < argc; ++i)
            c.global.json = c.global.json || std::strcmp(argv[i], "--json") == 0;
        return finish(STDOUT_FILENO, c, nullptr, ctl_status::usage, e.what());
    }
    c.command = app.get_subcommands().front()->get_name();
    if (c.command == "set" && c.cards.all && !c.set_device.empty())  // with --all every word is a field
        c.set.fields.insert(c.set.fields.begin(), c.set_device);
    else if (c.command == "set" && !c.set_device.empty())
        c.cards.devices = {c.set_device};
    // The library's texts are not zelvoctl's output: the run keeps them, to
    // be quoted in an error or dropped; standard output carries the document.
    buffer_sink library_says;
    const run_context run(library_says);
    const int out = STDOUT_FILENO;
    std::optional<session> s;
    try {
        const command_result r = dispatch(c, s);
        return finish(out, c, &r, r.status, "");
    } catch (const ctl_error& e) {
        // A step that met the channel's run-ending fault fails by that fault.
        const ctl_error failed = s ? by_fault(e, s->flash().fault(), library_says.last_line()) : e;
        return finish(out, c, nullptr, failed.status(), failed.what(), failed.details());
    } catch (const std::exception& e) {
        return finish(out, c, nullptr, ctl_status::io_failure, e.what());
    }
}
