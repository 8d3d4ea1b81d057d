// The simulated tree's flash state across mounts.
#include <filesystem>

#include "sim_fixture.h"

namespace zsim::test {
namespace {

namespace fs = std::filesystem;

using SysfsTree = mounted_sim;

TEST_F(SysfsTree, FlashStatePersistsAndIsCheckedOnReuse) {
    mount("card 0000:03:00.0\niface e0\n");
    EXPECT_EQ(send(maintain("e0"), write_request(PCSPHY, std::vector<u8>(4, 0x5A))), 24);
    unmount();
    // The file wins over the preload. Without the driver the interfaces stay.
    mount("driver absent\ncard 0000:03:00.0 flash=erased\niface e0\n");
    EXPECT_TRUE(fs::is_empty(path("drivers")));
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
