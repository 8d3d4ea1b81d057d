// The simulated sysfs as the tool's scan walks it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "sim_fixture.h"
#include "flash/unique_fd.h"

namespace zsim::test {
namespace {

class SysfsTree : public mounted_sim {
protected:
    std::vector<std::string> listing(const std::string& rel) const {
        std::vector<std::string> names;
        DIR* d = ::opendir(path(rel).c_str());
        EXPECT_NE(d, nullptr) << rel;
        if (!d)
            return names;
        while (const dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        ::closedir(d);
        return names;
    }
    // The text of one read, or "E<errno>".
    std::string read_attr(const std::string& rel) const {
        unique_fd fd(::open(path(rel).c_str(), O_RDONLY));
        if (!fd)
            return "E" + std::to_string(errno);
        char buf[4096];
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        return n < 0 ? "E" + std::to_string(errno) : std::string(buf, static_cast<std::size_t>(n));
    }
};

constexpr char MIXED[] =
    "stray zz_notes\n"
    "stray aa_dir dir\n"
    "card 0000:03:00.0 device=0x8308 mac=02:11:22:33:44:00\n"
    "function 0000:03:00.1\n"
    "iface b1 port=1 carrier=0\n"
    "iface b0 port=0 address=none\n"
    "function 0000:03:00.0 device=0x8309\n"
    "iface vf0\n"
    "card 0001:02:00.0 device=0x8208\n"
    "function 0001:02:00.0 vendor=0x1234\n"
    "iface x0 port=unreadable\n"
    "function 0001:02:00.1 net=no\n";

TEST_F(SysfsTree, AttributesReadLikeSysfs) {
    mount(MIXED);
    struct case_ {
        const char* file;
        const char* text;  // "E22": the read fails with EINVAL, "E2": no such file
    } const cases[] = {
        {"drivers/zelnic/0000:03:00.1/vendor", "0x8848\n"},
        {"drivers/zelnic/0000:03:00.1/device", "0x8308\n"},
        {"drivers/zelnic/0000:03:00.0/device", "0x8309\n"},
        {"drivers/zelnic/0001:02:00.0/vendor", "0x1234\n"},
        {"drivers/zelnic/0001:02:00.0/device", "0x8208\n"},
        {"drivers/zelnic/0000:03:00.1/net/b0/port_idx", "0\n"},
        {"drivers/zelnic/0000:03:00.1/net/b1/port_idx", "1\n"},
        {"drivers/zelnic/0000:03:00.1/net/b0/carrier", "1\n"},
        {"drivers/zelnic/0000:03:00.1/net/b1/carrier", "E22"},
        {"drivers/zelnic/0000:03:00.1/net/b1/address", "02:11:22:33:44:01\n"},
        {"drivers/zelnic/0000:03:00.1/net/b0/address", "E2"},
        {"drivers/zelnic/0001:02:00.0/net/x0/port_idx", "E22"},
        {"drivers/zelnic/0001:02:00.1/net", "E2"},
        {"drivers/zelnic/module/vendor", "E2"},
        {"drivers/zelnic/zz_notes", "stray\n"},
        {"net/b1/port_idx", "1\n"},
        {"net/vf0/carrier", "1\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read_attr(c.file), c.text) << c.file;

    struct stat st {};
    ASSERT_EQ(::stat(path("net/b0/carrier").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 4096);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    ASSERT_EQ(::stat(path("net/b0/maintain").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(::open(path("net/b0/vendor").c_str(), O_RDONLY), -1);
    EXPECT_EQ(::open(path("net/b0/address").c_str(), O_RDWR), -1);
}

TEST_F(SysfsTree, DriverFolderHoldsControlFilesModuleAndFunctionLinks) {
    mount(MIXED);
    const std::vector<std::string> want = {
        "bind", "unbind", "new_id", "remove_id", "uevent", "module", "0000:03:00.1",
        "0000:03:00.0", "0001:02:00.0", "0001:02:00.1", "zz_notes", "aa_dir"};
    EXPECT_EQ(listing("drivers/zelnic"), want);
    struct case_ {
        const char* entry;
        bool is_link;
        bool is_dir;  // following the link
    } const cases[] = {
        {"bind", false, false}, {"uevent", false, false},      {"module", true, true},
        {"0000:03:00.1", true, true}, {"0001:02:00.1", true, true}, {"zz_notes", false, false},
        {"aa_dir", false, true},
    };
    for (const auto& c : cases) {
        const std::string p = path("drivers/zelnic/") + c.entry;
        struct stat st {};
        ASSERT_EQ(::lstat(p.c_str(), &st), 0) << c.entry;
        EXPECT_EQ(S_ISLNK(st.st_mode), c.is_link) << c.entry;
        ASSERT_EQ(::stat(p.c_str(), &st), 0) << c.entry;
        EXPECT_EQ(S_ISDIR(st.st_mode), c.is_dir) << c.entry;
    }
    // PCI links are absolute, into the mount, so they resolve wherever the
    // driver folder is bind-mounted.
    char target[512] = {};
    ASSERT_GT(::readlink(path("drivers/zelnic/0000:03:00.1").c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), path("devices/0000:03:00.1"));
    // Control files are write-only, as in sysfs.
    EXPECT_EQ(read_attr("drivers/zelnic/bind"), "E" + std::to_string(EACCES));
    unique_fd fd(::open(path("drivers/zelnic/bind").c_str(), O_WRONLY));
    ASSERT_TRUE(fd);
    EXPECT_EQ(::write(fd.get(), "0000:03:00.0", 12), 12);
}

TEST_F(SysfsTree, AbsentDriverLeavesTheInterfacesButNoDriverFolder) {
    mount(std::string("driver absent\n") + MIXED);
    EXPECT_EQ(listing("drivers"), std::vector<std::string>{});
    EXPECT_EQ(read_attr("net/b0/port_idx"), "0\n");
}

TEST_F(SysfsTree, ListingOrderIsConfigurable) {
    struct case_ {
        const char* order;
        std::vector<std::string> functions;
        std::vector<std::string> net;
    } const cases[] = {
        {"config", {"0000:03:00.1", "0000:03:00.0", "0001:02:00.0", "0001:02:00.1"},
         {"b1", "b0", "vf0", "x0"}},
        {"reverse", {"0001:02:00.1", "0001:02:00.0", "0000:03:00.0", "0000:03:00.1"},
         {"x0", "vf0", "b0", "b1"}},
        {"sorted", {"0000:03:00.0", "0000:03:00.1", "0001:02:00.0", "0001:02:00.1"},
         {"b0", "b1", "vf0", "x0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.order);
        mount(std::string("order ") + c.order + "\n" + MIXED);
        std::vector<std::string> fns;
        for (const auto& n : listing("drivers/zelnic"))
            if (n.size() == 12 && n[4] == ':')
                fns.push_back(n);
        EXPECT_EQ(fns, c.functions);
        EXPECT_EQ(listing("net"), c.net);
    }
    EXPECT_EQ(listing("drivers/zelnic/0000:03:00.1/net"), (std::vector<std::string>{"b0", "b1"}));
}

TEST_F(SysfsTree, FlashStatePersistsAndIsCheckedOnReuse) {
    mount("card 0000:03:00.0\niface e0\n");
    EXPECT_EQ(send(maintain("e0"), write_request(4, std::vector<u8>(4, 0x5A))), 24);
    unmount();
    mount("card 0000:03:00.0 flash=erased\niface e0\n");  // the file wins over the preload
    EXPECT_EQ(flash("0000:03:00.0")[0x42000], 0x5A);
    const std::vector<u8> reply = exchange(maintain("e0"), read_request(4, 24));
    ASSERT_EQ(reply.size(), 24u);
    EXPECT_EQ(word_at(reply, 20), 0x5A5A5A5Au);
    unmount();
    // The same file cannot stand for a card of the other layout.
    try {
        mount("card 0000:03:00.0 device=0x8208\niface e0\n");
        ADD_FAILURE() << "a flash image of the wrong size was taken";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("827392 bytes"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace zsim::test
