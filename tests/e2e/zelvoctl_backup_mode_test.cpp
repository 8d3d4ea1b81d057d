// zelvoctl's backups are the owner's alone whatever the umask, and a file
// planted where a backup file goes is never written through.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// zelvoctl backup of the 4-port card into `to`, run under umask 000.
sim_run backup_under_open_umask(const std::string& to, const std::string& state) {
    return run_in_sim({"/bin/sh", "-c", "umask 000; exec \"$0\" backup enp3s0f0 --to \"$1\"", zelvoctl_path(), to},
                      "", state);
}

unsigned mode_of(const fs::path& p) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0)
        throw std::runtime_error("no status of " + p.string());
    return st.st_mode & 07777;
}

TEST(ZelvoctlBackupMode, FoldersAre0700AndFiles0600UnderUmask000) {
    const temp_dir state, root;
    const fs::path to = fs::path(root.path()) / "new" / "card4";
    const sim_run r = backup_under_open_umask(to, state.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(mode_of(to.parent_path()), 0700u);
    EXPECT_EQ(mode_of(to), 0700u);
    int files = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(to)) {
        EXPECT_EQ(mode_of(e.path()), 0600u) << e.path();
        ++files;
    }
    EXPECT_GE(files, 2) << "partition files and the manifest";
    EXPECT_TRUE(fs::is_regular_file(to / "manifest.json"));
}

TEST(ZelvoctlBackupMode, APlantedManifestLinkIsNotFollowed) {
    const temp_dir state, root;
    const fs::path to = fs::path(root.path()) / "card4", victim = fs::path(root.path()) / "victim";
    fs::create_directory(to);
    write_file_bytes(victim, {'k', 'e', 'e', 'p'});
    fs::create_symlink(victim, to / "manifest.json");
    const sim_run r = backup_under_open_umask(to, state.path());
    // A folder already there is never written into: refused before anything is read.
    EXPECT_EQ(r.status, 2) << r.out << r.err;
    EXPECT_NE(r.err.find("backup folder " + to.string() + " exists"), std::string::npos) << r.err;
    EXPECT_EQ(read_file_bytes(victim), std::vector<u8>({'k', 'e', 'e', 'p'}));
    EXPECT_TRUE(fs::is_symlink(to / "manifest.json"));
}

}  // namespace
}  // namespace e2e
