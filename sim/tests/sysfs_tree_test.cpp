// The simulated sysfs as the tool's scan walks it.
#include <filesystem>

#include "sim_fixture.h"

namespace zsim::test {
namespace {

namespace fs = std::filesystem;

class SysfsTree : public mounted_sim {
protected:
    std::vector<std::string> listing(const std::string& rel) const {  // in readdir order
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path(rel)))
            names.push_back(e.path().filename());
        return names;
    }
    // The text of one read, or "E<errno>".
    std::string read_attr(const std::string& rel) const {
        unique_fd fd(::open(path(rel).c_str(), O_RDONLY));
        char buf[4096];
        const ssize_t n = fd ? ::read(fd.get(), buf, sizeof buf) : -1;
        return n < 0 ? "E" + std::to_string(errno) : std::string(buf, static_cast<std::size_t>(n));
    }
};

constexpr char MIXED[] =
    "stray zz_notes\nstray aa_dir dir\n"
    "card 0000:03:00.0 device=0x8308 mac=02:11:22:33:44:00\n"
    "function 0000:03:00.1\niface b1 port=1 carrier=0\niface b0 port=0 address=none\n"
    "function 0000:03:00.0 device=0x8309\niface vf0\n"
    "card 0001:02:00.0 device=0x8208\n"
    "function 0001:02:00.0 vendor=0x1234\niface x0 port=unreadable\n"
    "function 0001:02:00.1 net=no\n";

TEST_F(SysfsTree, DriverFolderAndAttributesReadLikeSysfs) {
    mount(MIXED);
    EXPECT_EQ(listing("drivers/zelnic"),
              (std::vector<std::string>{"bind", "unbind", "new_id", "remove_id", "uevent", "module",
                                        "0000:03:00.1", "0000:03:00.0", "0001:02:00.0",
                                        "0001:02:00.1", "zz_notes", "aa_dir"}));
    const std::pair<const char*, const char*> attrs[] = {
        // "E<errno>": 22 EINVAL, 2 no such file, 13 EACCES, 21 EISDIR
        {"drivers/zelnic/0000:03:00.1/vendor", "0x8848\n"},
        {"drivers/zelnic/0000:03:00.0/device", "0x8309\n"},
        {"drivers/zelnic/0001:02:00.0/vendor", "0x1234\n"},
        {"drivers/zelnic/0000:03:00.1/net/b0/carrier", "1\n"},
        {"drivers/zelnic/0000:03:00.1/net/b1/carrier", "E22"},
        {"drivers/zelnic/0000:03:00.1/net/b1/address", "02:11:22:33:44:01\n"},
        {"drivers/zelnic/0000:03:00.1/net/b0/address", "E2"},
        {"drivers/zelnic/0001:02:00.0/net/x0/port_idx", "E22"},
        {"drivers/zelnic/0001:02:00.1/net", "E2"},
        {"drivers/zelnic/module/vendor", "E2"},
        {"drivers/zelnic/zz_notes", "stray\n"},
        {"drivers/zelnic/aa_dir", "E21"},
        {"drivers/zelnic/bind", "E13"},  // control files are write-only
        {"net/b1/port_idx", "1\n"},
    };
    for (const auto& [file, text] : attrs)
        EXPECT_EQ(read_attr(file), text) << file;
    unique_fd bind(::open(path("drivers/zelnic/bind").c_str(), O_WRONLY));
    EXPECT_EQ(bind ? ::write(bind.get(), "0000:03:00.0", 12) : -1, 12) << "writes are ignored";

    // Absolute links into the mount resolve wherever the driver folder is bind-mounted.
    EXPECT_EQ(fs::read_symlink(path("drivers/zelnic/0000:03:00.1")), path("devices/0000:03:00.1"));
    EXPECT_EQ(fs::read_symlink(path("drivers/zelnic/module")), path("module/zelnic"));
    EXPECT_EQ(fs::file_size(path("net/b0/carrier")), 4096u);
    EXPECT_EQ(fs::status(path("net/b0/carrier")).permissions(), fs::perms(0444));
    EXPECT_EQ(fs::status(path("net/b0/maintain")).permissions(), fs::perms(0600));
    EXPECT_EQ(::open(path("net/b0/address").c_str(), O_RDWR), -1);
}

// The default, config order, is the first test's listing.
TEST_F(SysfsTree, ListingOrderIsConfigurable) {
    struct case_ {
        const char* order;
        std::vector<std::string> functions, net;
    } const cases[] = {
        {"reverse", {"0001:02:00.1", "0001:02:00.0", "0000:03:00.0", "0000:03:00.1"},
         {"x0", "vf0", "b0", "b1"}},
        {"sorted", {"0000:03:00.0", "0000:03:00.1", "0001:02:00.0", "0001:02:00.1"},
         {"b0", "b1", "vf0", "x0"}},
    };
    for (const auto& c : cases) {
        mount(std::string("order ") + c.order + "\n" + MIXED);
        std::vector<std::string> fns = listing("drivers/zelnic");
        std::erase_if(fns, [](const std::string& n) { return n.size() != 12 || n[4] != ':'; });
        EXPECT_EQ(fns, c.functions) << c.order;
        EXPECT_EQ(listing("net"), c.net) << c.order;
    }
    EXPECT_EQ(listing("drivers/zelnic/0000:03:00.1/net"), (std::vector<std::string>{"b0", "b1"}));
}

TEST_F(SysfsTree, FlashStatePersistsAndIsCheckedOnReuse) {
    mount("card 0000:03:00.0\niface e0\n");
    EXPECT_EQ(send(maintain("e0"), write_request(PCSPHY, std::vector<u8>(4, 0x5A))), 24);
    unmount();
    // The file wins over the preload. Without the driver the interfaces stay.
    mount("driver absent\ncard 0000:03:00.0 flash=erased\niface e0\n");
    EXPECT_EQ(listing("drivers"), std::vector<std::string>{});
    EXPECT_EQ(word_at(exchange(maintain("e0"), read_request(PCSPHY, 24)), 20), 0x5A5A5A5Au);
    unmount();
    try {  // the same file cannot stand for a card of the other layout
        mount("card 0000:03:00.0 device=0x8208\niface e0\n");
        ADD_FAILURE() << "a flash image of the wrong size was taken";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("827392 bytes"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace zsim::test
