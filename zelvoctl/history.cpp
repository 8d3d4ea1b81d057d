#include "history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "ctl_error.h"

namespace fs = std::filesystem;

namespace {

constexpr mode_t HISTORY_DIR_MODE = 0700, HISTORY_FILE_MODE = 0600;

[[noreturn]] void cannot(const std::string& what, const std::string& path, int err) {
    throw ctl_error(ctl_status::io_failure, "cannot " + what + " history " + path + ": " + std::strerror(err));
}

}  // namespace

std::string utc_now(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, format, &tm);
    return text;
}

history_file::history_file(const std::string& path) : path_(path) {
    const fs::path parent = fs::path(path).parent_path();
    std::error_code ec;
    if (!parent.empty() && !fs::exists(parent, ec)) {
        fs::create_directories(parent, ec);
        if (ec)
            cannot("create the folder of", path, ec.value());
        fs::permissions(parent, static_cast<fs::perms>(HISTORY_DIR_MODE), ec);
    }
    fd_.reset(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, HISTORY_FILE_MODE));
    if (!fd_)
        cannot("open", path, errno);
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0)
        cannot("open", path, errno);
    if (!S_ISREG(st.st_mode))
        cannot("open", path, EINVAL);
}

std::string history_file::append(const json& entry) {
    const std::string line = entry.dump() + "\n";
    const std::lock_guard<std::mutex> one_at_a_time(appending_);
    // One write call: O_APPEND places it whole at the end, after any other
    // process's line. A short write leaves a cut line, reported as damaged
    // by read_history.
    const ssize_t n = ::write(fd_.get(), line.data(), line.size());
    if (n < 0)
        return std::strerror(errno);
    if (static_cast<std::size_t>(n) != line.size())
        return "only " + std::to_string(n) + " of " + std::to_string(line.size()) + " bytes written";
    if (::fsync(fd_.get()) != 0)
        return std::strerror(errno);
    return "";
}

history_lines read_history(const std::string& path) {
    history_lines h;
    std::error_code ec;
    if (!fs::exists(path, ec))
        return h;
    // Read line by line: a history grows for the life of the host.
    std::ifstream in(path);
    if (!in)
        cannot("read", path, errno != 0 ? errno : EIO);
    for (std::string line; std::getline(in, line);) {
        if (line.empty())
            continue;
        json entry = json::parse(line, nullptr, false);
        if (entry.is_object())
            h.entries.push_back(std::move(entry));
        else
            ++h.damaged;
    }
    if (in.bad())
        cannot("read", path, EIO);
    return h;
}

bool history_names(const json& entry, const std::string& device) {
    const std::string addr = entry.value("pci_address", "");
    if (device == entry.value("interface", "") || device == addr ||
        (addr.size() > 5 && device == addr.substr(5)))
        return true;
    for (const char* key : {"serial_before", "serial_after"})
        if (entry.contains(key) && entry[key].is_string() && entry[key] == device)
            return true;
    return false;
}
