#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

unsigned mode_of(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

// Backups under umask 000 into a new folder (folders 0700, files 0600) and
// into one holding a manifest link (refused, the link's target untouched).
TEST(ZelvoctlBackupMode, BackupsAreTheOwnersAloneAndAPlantedLinkIsNotFollowed) {
    const temp_dir state, root;
    const fs::path to = fs::path(root.path()) / "new" / "card4", planted = fs::path(root.path()) / "card4";
    const fs::path victim = fs::path(root.path()) / "victim";
    fs::create_directory(planted);
    write_file_bytes(victim, {'k', 'e', 'e', 'p'});
    fs::create_symlink(victim, planted / "manifest.json");
    for (const fs::path& dest : {to, planted}) {
        const sim_run r = run_in_sim(
            {"/bin/sh", "-c", "umask 000; exec \"$0\" backup enp3s0f0 --to \"$1\"", zelvoctl_path(), dest}, "", state.path());
        EXPECT_EQ(r.status, dest == to ? 0 : 2) << r.out << r.err;
    }
    EXPECT_EQ(mode_of(to.parent_path()), 0700u);
    EXPECT_EQ(mode_of(to), 0700u);
    for (const fs::directory_entry& e : fs::directory_iterator(to))
        EXPECT_EQ(mode_of(e.path()), 0600u) << e.path();
    EXPECT_TRUE(fs::is_regular_file(to / "manifest.json"));
    EXPECT_EQ(read_file_bytes(victim), std::vector<u8>({'k', 'e', 'e', 'p'}));
}

}  // namespace
}  // namespace e2e
