#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

#include "devices/sysfs_file.h"
#include "base/unique_fd.h"

namespace fuzz {

namespace {

struct scratch_folder {
    std::string path;
    scratch_folder() {
        namespace fs = std::filesystem;
        const fs::path base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        std::string tmpl = (base / "kv7-fuzz.XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        path = tmpl;
    }
    ~scratch_folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

}  // namespace

void invariant_broken(const char* target, const std::string& what) {
    std::fprintf(stderr, "\n[%s] invariant broken: %s\n", target, what.c_str());
    std::fflush(stderr);
    std::abort();
}

const std::string& scratch_dir() {
    static const scratch_folder folder;
    return folder.path;
}

void empty_dir(const std::string& dir) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        std::filesystem::remove_all(entry.path(), ec);
}

void silence_stdout() {
    std::fflush(stdout);
    const unique_fd null_fd(::open("/dev/null", O_WRONLY));
    if (!null_fd || ::dup2(null_fd.get(), STDOUT_FILENO) < 0) {
        std::perror("/dev/null");
        std::abort();
    }
}

std::vector<u8> repeated(std::span<const u8> pattern, std::size_t len) {
    std::vector<u8> out(len);
    const std::size_t body = std::min(pattern.size(), len);
    if (body == 0)
        return out;
    // The pattern once, then the filled part copied after itself.
    std::copy_n(pattern.begin(), body, out.begin());
    for (std::size_t filled = body; filled < len; filled *= 2)
        std::copy_n(out.begin(), std::min(filled, len - filled), out.begin() + static_cast<long>(filled));
    return out;
}

std::optional<std::vector<u8>> file_content(const std::string& path) {
    if (::access(path.c_str(), F_OK) != 0)
        return std::nullopt;
    // An empty file is no file to the library's reader, but it is one here.
    auto bytes = read_file(path);
    return bytes ? std::move(*bytes) : std::vector<u8>{};
}

}  // namespace fuzz
