#include "sim_cli.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "hold_lock.h"
#include "base/flash_layout.h"
#include "namespace_run.h"
#include "sim_error.h"
#include "synthetic_image.h"
#include "base/unique_fd.h"

namespace zsim {

namespace {

constexpr char USAGE[] =
    "usage:\n"
    "  zelnic-sim run [--config FILE | --from-backup DIR ...] [--state DIR] -- COMMAND [ARGS...]\n"
    "      run COMMAND with the simulated controllers in /sys/bus/pci/drivers\n"
    "      and /sys/class/net (needs root); exits with COMMAND's status;\n"
    "      --from-backup (repeatable): the cards of zelvoctl backup folders\n"
    "  zelnic-sim hold-lock PATH SECONDS\n"
    "      hold a whole-file fcntl write lock on PATH; prints \"locked\" once held\n"
    "  zelnic-sim make-fw [--size N] [--chip-group N] [--crc] OUT\n"
    "      write a synthetic firmware image (default size 0x41000)\n"
    "  zelnic-sim default-config\n"
    "      print the built-in controllers in the config format\n";

struct usage_error : sim_error {
    using sim_error::sim_error;
};

// "--name VALUE" or "--name=VALUE" at args[i]; advances i past the value.
bool option_value(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
                  std::string& value) {
    const std::string& a = args[i];
    if (a == name) {
        if (i + 1 >= args.size())
            throw usage_error(name + " needs a value");
        value = args[++i];
        return true;
    }
    if (a.rfind(name + "=", 0) == 0) {
        value = a.substr(name.size() + 1);
        return true;
    }
    return false;
}

unsigned long number_arg(const std::string& what, const std::string& text, unsigned long max) {
    errno = 0;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || v > max || text[0] == '-')
        throw usage_error(what + ": not a number up to " + std::to_string(max) + ": '" + text + "'");
    return v;
}

cli_result cmd_run(const std::vector<std::string>& args) {
    run_options opts;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        std::string v;
        if (args[i] == "--") {
            ++i;
            break;
        }
        if (option_value(args, i, "--config", v))
            opts.config_path = v;
        else if (option_value(args, i, "--state", v))
            opts.state_dir = v;
        else if (option_value(args, i, "--from-backup", v))
            opts.backup_dirs.push_back(v);
        else if (args[i].rfind("-", 0) == 0)
            throw usage_error("run: unknown option " + args[i]);
        else
            break;  // the command starts here
    }
    opts.command.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    if (opts.command.empty())
        throw usage_error("run: no command given");
    if (opts.config_path && !opts.backup_dirs.empty())
        throw usage_error("run: --config and --from-backup do not go together");
    const run_outcome out = run_in_namespace(opts);
    return {out.status, out.abandon};
}

cli_result cmd_hold_lock(const std::vector<std::string>& args) {
    if (args.size() != 2)
        throw usage_error("hold-lock needs PATH and SECONDS");
    char* end = nullptr;
    const double secs = std::strtod(args[1].c_str(), &end);
    if (args[1].empty() || *end != '\0' || !(secs >= 0))
        throw usage_error("hold-lock: SECONDS must be a number of seconds: '" + args[1] + "'");
    return {hold_lock(args[0], secs), false};
}

cli_result cmd_make_fw(const std::vector<std::string>& args) {
    fw_image_params params;
    params.size = FW_BIN_DEFAULT_IMG_BIN_SZ;
    std::string out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string v;
        if (option_value(args, i, "--size", v))
            params.size = static_cast<u32>(number_arg("--size", v, 64u << 20));
        else if (option_value(args, i, "--chip-group", v))
            params.chip_group = static_cast<u32>(number_arg("--chip-group", v, 0xFFFFFFFFul));
        else if (args[i] == "--crc")
            params.crc = true;
        else if (args[i].rfind("-", 0) == 0 || !out.empty())
            throw usage_error("make-fw: unexpected argument " + args[i]);
        else
            out = args[i];
    }
    if (out.empty())
        throw usage_error("make-fw needs an output file");
    if (params.chip_group == KV3_CHIP_GROUP) {
        params.device = KV3_1_PORT_DEV;
        params.ports = 1;
    }
    const std::vector<u8> img = make_fw_image(params);
    unique_fd fd(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd)
        throw sim_error(errno_text("cannot create " + out));
    if (write_file_full(fd.get(), img.data(), static_cast<int>(img.size())) < 0)
        throw sim_error(errno_text("cannot write " + out));
    return {0, false};
}

}  // namespace

cli_result sim_main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(USAGE, stderr);
        return {EXIT_USAGE, false};
    }
    const std::string sub = args[0];
    args.erase(args.begin());
    try {
        if (sub == "run")
            return cmd_run(args);
        if (sub == "hold-lock")
            return cmd_hold_lock(args);
        if (sub == "make-fw")
            return cmd_make_fw(args);
        if (sub == "default-config" && args.empty()) {
            std::fputs(format_config(default_config()).c_str(), stdout);
            return {0, false};
        }
        if (sub == "help" || sub == "--help" || sub == "-h") {
            std::fputs(USAGE, stdout);
            return {0, false};
        }
        throw usage_error("unknown command " + sub);
    } catch (const usage_error& e) {
        std::fprintf(stderr, "zelnic-sim: %s\n%s", e.what(), USAGE);
        return {EXIT_USAGE, false};
    } catch (const sim_error& e) {
        std::fprintf(stderr, "zelnic-sim: %s\n", e.what());
        return {sub == "run" ? EXIT_SIM_FAILED : 1, false};
    }
}

}  // namespace zsim
