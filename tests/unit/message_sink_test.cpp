#include "base/message_sink.h"

#include <barrier>
#include <cstring>
#include <thread>

#include "base/flash_layout.h"
#include "flash/file_eeprom.h"
#include "record/run_context.h"
#include "report/shows.h"
#include "test_support.h"
#include "ucfg/identity.h"
#include "ucfg/mac_address.h"
#include "ucfg/ucfg_store.h"

namespace {

using namespace test_support;

// Every byte of a formatted text is kept, a NUL from %c and texts longer
// than any fixed buffer included.
TEST(MessageSink, KeepsEveryByte) {
    const std::string long_text(3000, 'x');
    buffer_sink sink;
    sink.print("a%cb|%s|%d\n", 0, long_text.c_str(), -7);
    EXPECT_EQ(sink.text(), std::string("a\0b|", 4) + long_text + "|-7\n");
    EXPECT_EQ(sink.last_line(), "a" + std::string(1, '\0') + "b|" + long_text + "|-7");
}

// One card's flash image with `serial` in its user record.
std::vector<u8> card_image(const char* serial) {
    std::vector<u8> image(FW_BIN_MAX_SZ, 0xff);
    ucfg_mac_sn r = reset_record();
    set_text(r, record_text::serial, serial);
    std::memcpy(image.data() + UCFG_MAC_SN_PARTION, &r, sizeof r);
    return image;
}

// Two cards worked on at once, each on its own thread with its own sink:
// every text of a card's work, a refused setter's included, lands in that
// card's sink in its order, none in the other's or on standard output; a
// record changed on one thread is not the other's change.
TEST(MessageSink, ParallelCardsKeepTheirTextsApart) {
    constexpr int ROUNDS = 50;
    struct card_job {
        const char* serial;
        bool sets;
        buffer_sink sink;
        bool changed = false;
        fault_code refused = fault_code::none;
    } jobs[2] = {{"CARD-A", true, {}}, {"CARD-B", false, {}}};
    std::barrier in_step(2);
    testing::internal::CaptureStdout();
    auto work = [&in_step](card_job& job) {
        eth_dev dev{};
        std::strcpy(dev.name, job.serial);
        file_eeprom flash(&dev, card_image(job.serial));
        const run_context run(job.sink);
        in_step.arrive_and_wait();
        ucfg_mac_sn r;
        for (int i = 0; i < ROUNDS; ++i) {
            in_step.arrive_and_wait();
            do_show_sn_pn(flash, &dev, true, false);
            load_mac_sn(flash, &dev, &r);
            if (job.sets)
                set_text(r, record_text::part_number, std::string(UCFG_TEXT_LEN + 1, 'p').c_str());
        }
        job.changed = run.record_changed();
        job.refused = mac_batch_set(&r, job.serial, 2).code;
    };
    std::thread a(work, std::ref(jobs[0])), b(work, std::ref(jobs[1]));
    a.join();
    b.join();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    for (const card_job& job : jobs) {
        std::string want;
        for (int i = 0; i < ROUNDS; ++i)
            want += "sn: " + std::string(job.serial) + "\n" + (job.sets ? "Warin: pn > 32. cut to 32bytes\n" : "");
        EXPECT_EQ(job.sink.text(), want + "invalid macaddr:[" + job.serial + "]\n") << job.serial;
        EXPECT_EQ(job.changed, job.sets) << job.serial;
        EXPECT_EQ(job.refused, fault_code::invalid_value);
    }
    testing::internal::CaptureStdout();
    messages().print("after %d\n", 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "after 1\n") << "out of a run, texts go to standard output";
}

}  // namespace
