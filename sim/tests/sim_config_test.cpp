// The simulator's config text: each maintain-file fault read by its name and
// written back by format_config so that it reads the same again.
#include <gtest/gtest.h>

#include <functional>

#include "sim_config.h"
#include "sim_error.h"

namespace zsim {
namespace {

const std::string ONE_IFACE = "card 0000:09:00.0\nfunction 0000:09:00.0\niface e0 port=0\n";

// What follows the address on e0's line: the faults as written out.
std::string written_faults(const std::string& text) {
    const auto line = text.find("iface e0 ");
    const auto end = text.find('\n', line);
    const auto after = text.find(' ', text.find("address=", line));
    return after < end ? text.substr(after, end - after) : "";
}

TEST(SimConfig, EachFaultIsReadByItsNameAndWrittenBackTheSame) {
    using set = std::function<void(iface_faults&)>;
    struct row {
        const char* faults;
        set want;
        const char* written;
    } const rows[] = {
        {"no-open", [](auto& f) { f.no_open = true; }, " no-open"},
        {"lose-user-writes", [](auto& f) { f.lose_user_writes = -1; }, " lose-user-writes=-1"},
        {"lose-writes=2", [](auto& f) { f.lose_writes = 2; }, " lose-writes=2"},
        {"write-eio", [](auto& f) { f.write_eio = -1; }, " write-eio=-1"},
        {"short-write=7", [](auto& f) { f.short_write = 7; }, " short-write=7"},
        {"reply-extra=3", [](auto& f) { f.reply_extra = 3; }, " reply-extra=3"},
        // 0 header bytes is a fault: a healthy interface has -1.
        {"short-header=0", [](auto& f) { f.short_header = 0; }, " short-header=0"},
        {"short-header=-1", [](auto&) {}, ""},
        {"data-short-by=9", [](auto& f) { f.data_short_by = 9; }, " data-short-by=9"},
        {"write-delay-ms=40", [](auto& f) { f.write_delay_ms = 40; }, " write-delay-ms=40"},
        {"fail-reads-after=0", [](auto& f) { f.fail_reads_after = 0; }, " fail-reads-after=0"},
        {"fail-reads-after=4 write-eio=1 no-open",
         [](auto& f) {
             f.fail_reads_after = 4;
             f.write_eio = 1;
             f.no_open = true;
         },
         " no-open write-eio=1 fail-reads-after=4"},
    };
    for (const auto& r : rows) {
        const sim_config cfg = parse_config(ONE_IFACE + "fault e0 " + r.faults + "\n");
        iface_faults want;
        r.want(want);
        EXPECT_EQ(cfg.cards.at(0).functions.at(0).ifaces.at(0).faults, want) << r.faults;
        const std::string text = format_config(cfg);
        EXPECT_EQ(written_faults(text), r.written) << text;
        EXPECT_EQ(parse_config(text), cfg) << text;
    }
}

TEST(SimConfig, RefusesAMalformedFaultNamingItsLine) {
    const struct {
        const char* line;
        const char* error;
    } rows[] = {
        {"fault e0 no-open=1", "config:4: no-open takes no value"},
        {"fault e0 short-write", "config:4: short-write needs a value (short-write=...)"},
        {"fault e0 short-header=20", "config:4: short-header: not a number from -1 to 19: '20'"},
        {"fault e0 lose-writes=x", "config:4: lose-writes: not a number from -1 to 1000000: 'x'"},
        {"fault e0 open-fails", "config:4: unknown fault 'open-fails'"},
        {"iface e1 port=1 open-fails", "config:4: iface: unknown setting 'open-fails'"},
    };
    for (const auto& r : rows) {
        try {
            parse_config(ONE_IFACE + r.line + "\n");
            ADD_FAILURE() << "accepted: " << r.line;
        } catch (const sim_error& e) {
            EXPECT_STREQ(e.what(), r.error);
        }
    }
}

}  // namespace
}  // namespace zsim
