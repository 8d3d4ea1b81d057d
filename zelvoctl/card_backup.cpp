#include "card_backup.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "ctl_error.h"
#include "devices/sysfs_file.h"
#include "base/file_io.h"
#include "flash_partitions.h"
#include "history.h"
#include "sha256.h"
#include "base/unique_fd.h"

namespace fs = std::filesystem;

namespace {

constexpr int MANIFEST_VERSION = 1;

[[noreturn]] void bad_backup(const std::string& dir, const std::string& why) {
    throw ctl_error(ctl_status::usage, "backup " + dir + ": " + why);
}

std::string errno_text(int err) { return std::strerror(err); }

// A restore writes a backup's bytes back as root, so only the owner may read
// or change a backup, whatever the umask: folders 0700, files 0600, and a file
// is always new, never something already there (a planted link) written through.
constexpr mode_t PRIVATE_DIR = 0700, PRIVATE_FILE = 0600;

[[noreturn]] void io_failure(const std::string& what, const std::string& path) {
    throw ctl_error(ctl_status::io_failure, what + " " + path + ": " + std::strerror(errno));
}

void save(const std::string& path, std::span<const u8> bytes) {
    unique_fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, PRIVATE_FILE));
    const int len = static_cast<int>(bytes.size());
    if (!fd || ::fchmod(fd.get(), PRIVATE_FILE) != 0 || write_file_full(fd.get(), bytes.data(), len) != len ||
        ::fsync(fd.get()) != 0 || ::close(fd.release()) != 0)
        io_failure("cannot write", path);
}

// Every missing folder of `dir`, each created 0700.
void make_private_dirs(const std::string& dir) {
    fs::path at;
    for (const fs::path& part : fs::path(dir)) {
        at /= part;
        if (::mkdir(at.c_str(), PRIVATE_DIR) == 0) {
            if (::chmod(at.c_str(), PRIVATE_DIR) != 0)
                io_failure("cannot create", at);
        } else if (errno != EEXIST) {
            io_failure("cannot create", at);
        }
    }
}

void sync_dir(const std::string& path) {
    const unique_fd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd || ::fsync(fd.get()) != 0)
        throw ctl_error(ctl_status::io_failure, "cannot sync " + path + ": " + errno_text(errno));
}

[[noreturn]] void refuse_existing(const std::string& dir) {
    throw ctl_error(ctl_status::usage, "backup folder " + dir + " exists; a backup is never overwritten or merged");
}

// A backup folder under construction: a hidden temporary folder beside the
// destination, removed unless it was renamed into place.
class staged_folder {
public:
    explicit staged_folder(const std::string& dest) {
        const fs::path d(dest);
        parent_ = d.has_parent_path() ? d.parent_path().string() : ".";
        make_private_dirs(parent_);
        std::string name = parent_ + "/." + d.filename().string() + ".partial-XXXXXX";
        if (::mkdtemp(name.data()) == nullptr)
            throw ctl_error(ctl_status::io_failure, "cannot create a folder in " + parent_ + ": " + errno_text(errno));
        path_ = name;
    }
    ~staged_folder() {
        std::error_code ec;
        if (!path_.empty())
            fs::remove_all(path_, ec);
    }
    staged_folder(const staged_folder&) = delete;
    staged_folder& operator=(const staged_folder&) = delete;

    const std::string& path() const { return path_; }

    // Syncs the folder and renames it to `to`, or reports false when `to`
    // exists by then.
    bool publish(const std::string& to) {
        sync_dir(path_);
        if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno == EEXIST || errno == ENOTEMPTY)
                return false;
            throw ctl_error(ctl_status::io_failure, "cannot rename " + path_ + " to " + to + ": " + errno_text(errno));
        }
        path_.clear();
        sync_dir(parent_);
        return true;
    }

private:
    std::string parent_, path_;
};

}  // namespace

std::string backup_folder_name(const std::string& pci_address) {
    std::string name = pci_address;
    std::replace(name.begin(), name.end(), ':', '-');
    return name;
}

backup_target default_backup_target(const std::string& root, const std::string& pci_address) {
    return {root + "/" + backup_folder_name(pci_address) + "-" + utc_now("%Y%m%dT%H%M%SZ"), true};
}

taken_backup take_backup(flash_access& flash, const card& c, const backup_target& to, const progress& report) {
    std::error_code ec;
    if (fs::symlink_status(to.dir, ec).type() != fs::file_type::not_found && !to.numbered)
        refuse_existing(to.dir);
    staged_folder staged(to.dir);
    const std::string& dir = staged.path();
    const card_identity id = read_identity(flash, c);
    json files = json::array();
    for (const partition_info& p : readable_partitions()) {
        report.step(std::string("backup: reading ") + p.name);
        const std::vector<u8> data = read_partition(flash, *c.first, p.number);
        save(dir + "/" + p.file, data);
        files.push_back({{"partition", p.number},
                         {"name", p.name},
                         {"file", p.file},
                         {"size", data.size()},
                         {"sha256", sha256_hex(data)}});
    }
    json manifest = {{"manifest_version", MANIFEST_VERSION},
                     {"card", identity_json(id)},
                     {"interface", c.first->name},
                     {"created", utc_now("%Y-%m-%dT%H:%M:%SZ")},
                     {"files", files}};
    const std::string text = manifest.dump(2) + "\n";
    save(dir + "/" + MANIFEST_NAME, std::span(reinterpret_cast<const u8*>(text.data()), text.size()));
    std::string dest = to.dir;
    for (int n = 2; !staged.publish(dest); ++n) {
        if (!to.numbered)
            refuse_existing(dest);
        dest = to.dir + "-" + std::to_string(n);
    }
    return {dest, manifest};
}

loaded_backup load_backup(const std::string& dir) {
    const auto text = read_file(dir + "/" + MANIFEST_NAME);
    if (!text)
        bad_backup(dir, std::string("no readable ") + MANIFEST_NAME);
    loaded_backup b;
    b.manifest = json::parse(text->begin(), text->end(), nullptr, false);
    if (b.manifest.is_discarded() || !b.manifest.is_object())
        bad_backup(dir, std::string(MANIFEST_NAME) + " is not JSON");
    try {
        if (b.manifest.at("manifest_version").get<int>() != MANIFEST_VERSION)
            bad_backup(dir, "manifest_version is not " + std::to_string(MANIFEST_VERSION));
        for (const json& f : b.manifest.at("files")) {
            const int number = f.at("partition").get<int>();
            const std::string file = f.at("file").get<std::string>();
            if (file != partition_by_number(number).file)
                bad_backup(dir, "file " + file + " does not belong to partition " + std::to_string(number));
            const auto data = read_file(dir + "/" + file);
            const std::vector<u8> bytes = data.value_or(std::vector<u8>{});
            if (!data && f.at("size").get<std::size_t>() != 0)
                bad_backup(dir, file + " is missing or unreadable");
            if (bytes.size() != f.at("size").get<std::size_t>())
                bad_backup(dir, file + " holds " + std::to_string(bytes.size()) + " bytes, the manifest says " +
                                    std::to_string(f.at("size").get<std::size_t>()));
            if (sha256_hex(bytes) != f.at("sha256").get<std::string>())
                bad_backup(dir, file + " is damaged: its SHA-256 differs from the manifest");
            b.partitions[number] = bytes;
        }
        (void)b.manifest.at("card").at("device_id").get<std::string>();
    } catch (const json::exception& e) {
        bad_backup(dir, std::string(MANIFEST_NAME) + " is malformed: " + e.what());
    }
    return b;
}

std::string other_card_in(const loaded_backup& backup, const card_identity& now) {
    const json& was = backup.manifest.at("card");
    const std::string was_id = was.at("device_id").get<std::string>();
    const std::string was_addr = was.value("pci_address", ""), was_sn = was.value("serial", "");
    if (was_id != hex(now.device_id, 4))
        throw ctl_error(ctl_status::usage, "the backup is of a card with device id " + was_id + ", this card is " +
                                               hex(now.device_id, 4));
    const bool same = !was_sn.empty() && !now.serial.empty() ? was_sn == now.serial : was_addr == now.pci_address;
    if (same)
        return "";
    return "the backup is of card " + was_addr + " with serial '" + was_sn + "', this card " + now.pci_address +
           " has serial '" + now.serial + "'";
}

std::vector<partition_outcome> write_and_verify(flash_access& flash, const eth_dev& dev,
                                                const std::map<int, std::vector<u8>>& content, bool force,
                                                const progress& report, const std::string& restore_hint) {
    std::vector<partition_outcome> outcomes;
    for (const partition_info& p : readable_partitions()) {
        const auto it = content.find(p.number);
        if (!p.writable || it == content.end() || it->second.empty())
            continue;
        const bool write = force || read_partition(flash, dev, p.number) != it->second;
        if (write) {
            report.step(std::string("writing ") + p.name + " (" + std::to_string(it->second.size()) + " bytes)");
            try {
                write_partition(flash, dev, p.number, it->second);
            } catch (const ctl_error& e) {
                throw ctl_error(e.status(), std::string(e.what()) + "; " + restore_hint);
            }
        }
        outcomes.push_back({p.number, it->second.size(), write});
    }
    report.step("reading back");
    for (const partition_outcome& o : outcomes) {
        const std::vector<u8> now = read_back(restore_hint, [&] { return read_partition(flash, dev, o.partition); });
        if (now != content.at(o.partition))
            throw ctl_error(ctl_status::problems, std::string("read-back of partition ") +
                                                      partition_by_number(o.partition).name + " of " + dev.name +
                                                      " differs from what was written; " + restore_hint);
    }
    return outcomes;
}

json outcomes_json(const std::vector<partition_outcome>& outcomes) {
    json list = json::array();
    for (const partition_outcome& o : outcomes)
        list.push_back({{"partition", partition_by_number(o.partition).name},
                        {"bytes", o.bytes},
                        {"written", o.written}});
    return list;
}
