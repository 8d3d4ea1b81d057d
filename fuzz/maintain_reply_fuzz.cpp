// Reply handling of the maintain channel. The first input byte picks the
// partition, the size of the caller's buffer and the way in; the rest is what
// the driver answers.
//   - file: a whole read exchange on a file opened for appending, which the
//     request is added to while the reply stays at the start, with a dump
//     file and a caller's buffer;
//   - pipe: the reply parser alone, over a pipe that may deliver less than
//     the header announces.
//
// What must hold: a result is -5 or a data count no larger than the
// partition's reply limit and the header's data_bytes; the dump file and the
// buffer receive exactly those reply bytes and nothing past the buffer's end.
#define FUZZ_TARGET_NAME "maintain_reply"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "base/file_io.h"
#include "flash/maintain_channel.h"
#include "fuzz_support.h"
#include "maintain/maintain.h"
#include "base/unique_fd.h"

namespace {

constexpr u8 UNTOUCHED = 0x5A;
constexpr std::size_t GUARD = 32;  // bytes past the caller's buffer that must stay

// The header's data_bytes field, when the reply holds a whole header.
int announced(std::span<const u8> reply) {
    return static_cast<std::int32_t>(get_le32(reply.data() + offsetof(maintain_reply, data_bytes)));
}

void check_result(int result, int partion, std::span<const u8> reply) {
    FUZZ_CHECK(result == -5 || (result >= 0 && result <= partion_max_sz(partion)),
               "result " + std::to_string(result) + " for partition " + std::to_string(partion));
    if (result >= 0)
        FUZZ_CHECK(reply.size() >= static_cast<std::size_t>(MAINTAIN_HDR_SZ + result) && announced(reply) == result,
                   "result " + std::to_string(result) + " is not the announced, delivered count");
}

void through_file(int partion, std::size_t buf_len, bool dump, std::span<const u8> reply) {
    const std::string dir = fuzz::scratch_dir();
    const std::string maintain = dir + "/maintain", out = dir + "/dump.bin";
    fuzz::empty_dir(dir);
    if (write_to_file(reply, maintain.c_str()) != static_cast<int>(reply.size()))
        fuzz::invariant_broken(FUZZ_TARGET_NAME, "cannot write " + maintain);
    const unique_fd fd(::open(maintain.c_str(), O_RDWR | O_APPEND));
    if (!fd)
        fuzz::invariant_broken(FUZZ_TARGET_NAME, "cannot open " + maintain);

    std::vector<u8> buf(buf_len + GUARD, UNTOUCHED);
    const fuzz::call_result r = fuzz::call_catching_end([&] {
        return maintain_read_exchange(fd.get(), partion, dump ? out.c_str() : nullptr,
                                      std::span<u8>(buf).first(buf_len));
    });
    FUZZ_CHECK(!r.ended, "a readable reply ended the process");

    // The request went behind the reply: the channel sent what it encodes.
    const auto sent = fuzz::file_content(maintain);
    const auto req = encode_read_req(partion);
    FUZZ_CHECK(sent && sent->size() == reply.size() + req.size() &&
                   std::equal(req.begin(), req.end(), sent->begin() + static_cast<long>(reply.size())),
               "the read request was not sent whole");
    // A count past the original reply is served from the request's bytes.
    check_result(r.status, partion, *sent);

    const std::size_t delivered = r.status > 0 ? static_cast<std::size_t>(r.status) : 0;
    const auto data = std::span<const u8>(*sent).subspan(delivered ? MAINTAIN_HDR_SZ : 0, delivered);
    const std::size_t copied = std::min(delivered, buf_len);
    FUZZ_CHECK(std::equal(data.begin(), data.begin() + static_cast<long>(copied), buf.begin()),
               "the buffer does not hold the reply data");
    FUZZ_CHECK(std::all_of(buf.begin() + static_cast<long>(copied), buf.end(), [](u8 b) { return b == UNTOUCHED; }),
               "bytes past the delivered data were written");
    const auto dumped = fuzz::file_content(out);
    if (dump && delivered > 0)
        FUZZ_CHECK(dumped && std::equal(dumped->begin(), dumped->end(), data.begin(), data.end()),
                   "the dump file is not the reply data");
    else
        FUZZ_CHECK(!dumped, "a dump file without data delivered");
}

void through_pipe(int partion, std::span<const u8> reply) {
    int ends[2];
    if (::pipe(ends) != 0)
        fuzz::invariant_broken(FUZZ_TARGET_NAME, "pipe");
    const unique_fd rd(ends[0]);
    {
        const unique_fd wr(ends[1]);
        // The inputs are kept below the pipe's capacity (-max_len), so this
        // does not block.
        if (write_file_full(wr.get(), reply.data(), static_cast<int>(reply.size())) != static_cast<int>(reply.size()))
            fuzz::invariant_broken(FUZZ_TARGET_NAME, "write to pipe");
    }
    std::vector<u8> room(static_cast<std::size_t>(MAINTAIN_HDR_SZ + partion_max_sz(partion)));
    const fuzz::call_result r = fuzz::call_catching_end([&] { return read_reply(rd.get(), partion, room); });
    FUZZ_CHECK(!r.ended, "a readable reply ended the process");
    check_result(r.status, partion, reply);
    if (r.status > 0)
        FUZZ_CHECK(std::equal(reply.begin(), reply.begin() + MAINTAIN_HDR_SZ + r.status, room.begin()),
                   "the reply buffer does not hold the bytes read");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 60000)
        return 0;
    const u8 pick = data[0];
    const int partion = 1 + pick % PART_MAX;  // 1..11: the numbers the channel accepts
    const std::span<const u8> reply(data + 1, size - 1);
    if (pick & 0x80) {
        through_pipe(partion, reply);
        return 0;
    }
    // Buffers of 0, 16, 480 and 4096 bytes: none, smaller than and as large
    // as the record, larger than most replies.
    constexpr std::array<std::size_t, 4> BUF_LENS = {0, 16, 480, 4096};
    through_file(partion, BUF_LENS[(pick >> 4) & 3], (pick & 0x40) != 0, reply);
    return 0;
}
