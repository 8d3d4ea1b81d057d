// Bytes per second of the image CRC over a full 827392-byte image: the
// tool's calc_crc32 (zlib's table-driven crc32) beside the bitwise form of the
// catalogue algorithm.
#include <benchmark/benchmark.h>

#include <vector>

#include "crc32_reference.h"
#include "image/crc32_info.h"
#include "base/flash_layout.h"

namespace {

const std::vector<u8>& full_image() {
    static const std::vector<u8> img = [] {
        std::vector<u8> b(FW_BIN_MAX_SZ);
        for (std::size_t i = 0; i < b.size(); ++i)
            b[i] = static_cast<u8>((i * 2654435761u) >> 13);
        return b;
    }();
    return img;
}

void BM_crc32_zlib(benchmark::State& state) {
    const std::vector<u8>& img = full_image();
    for (auto _ : state)
        benchmark::DoNotOptimize(calc_crc32(CRC32_SEED_INIT, img.data(), static_cast<u32>(img.size())));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(img.size()));
}

void BM_crc32_bitwise(benchmark::State& state) {
    const std::vector<u8>& img = full_image();
    for (auto _ : state)
        benchmark::DoNotOptimize(test_support::bitwise_crc32(CRC32_SEED_INIT, img.data(), img.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(img.size()));
}

}  // namespace

BENCHMARK(BM_crc32_zlib)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_crc32_bitwise)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
