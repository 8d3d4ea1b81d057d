// Times a firmware plus PXE update by the tool against a plain one-process
// program that makes the same requests to the same maintain file, side by
// side, and reports the tool's peak resident memory. Meant to run inside
// zelnic-sim (scripts/bench_fw_update sets it up).
//
//   fw_update_bench plain MAINTAIN FW PXE
//       the plain program: one open of MAINTAIN, then the requests the tool
//       makes for "-pxe PXE -fw FW" with a firmware that needs no record
//       splice: read partition 3, write PXE to 5, write FW to 1.
//   fw_update_bench compare TOOL IFACE FW PXE LOG ROUNDS
//       runs the tool ("-q -d IFACE -pxe PXE -fw FW") and the plain program
//       ROUNDS times each, alternating which goes first; checks in the
//       request log LOG that both made the same requests with the same
//       payloads; prints the median wall times, their ratio and the tool's
//       peak resident memory. Exit status 1 when the ratio is above 1.2 or
//       the memory reaches 8 MiB, 2 on a set-up or request mismatch.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "maintain/maintain.h"

namespace {

constexpr double MAX_RATIO = 1.2;
constexpr long MAX_RSS_KIB = 8 * 1024;

std::vector<u8> slurp(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool write_all(int fd, const u8* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

std::vector<u8> request(int cmd, int part, std::size_t data_bytes, int reply_bytes) {
    std::vector<u8> r(MAINTAIN_HDR_SZ + (cmd == MT_WRITE_FLASH ? data_bytes : 0));
    put_le32(r.data(), MAINTAIN_MAGIC);
    put_le32(r.data() + 4, static_cast<u32>(cmd));
    put_le32(r.data() + 8, static_cast<u32>(part));
    put_le32(r.data() + 12, static_cast<u32>(cmd == MT_WRITE_FLASH ? data_bytes : 0));
    put_le32(r.data() + 16, static_cast<u32>(reply_bytes));
    return r;
}

bool send_write(int fd, int part, const std::vector<u8>& data) {
    std::vector<u8> r = request(MT_WRITE_FLASH, part, data.size(), 0);
    std::copy(data.begin(), data.end(), r.begin() + MAINTAIN_HDR_SZ);
    return ::lseek(fd, 0, SEEK_SET) == 0 && write_all(fd, r.data(), r.size());
}

int plain(const char* maintain, const char* fw_path, const char* pxe_path) {
    const std::vector<u8> fw = slurp(fw_path), pxe = slurp(pxe_path);
    const int fd = ::open(maintain, O_RDWR);
    if (fd < 0 || fw.empty() || pxe.empty())
        return 2;
    // The user record, as the tool's load reads it.
    const std::vector<u8> rd = request(MT_READ_FLASH, PART_MAC_ADDR, 0, partion_max_sz(PART_MAC_ADDR) + MAINTAIN_HDR_SZ);
    u8 reply[MAINTAIN_HDR_SZ + 480];
    if (!write_all(fd, rd.data(), rd.size()) || ::lseek(fd, 0, SEEK_SET) != 0 || ::read(fd, reply, sizeof reply) < 20)
        return 2;
    if (!send_write(fd, IPXE, pxe) || !send_write(fd, PART_FW, fw))
        return 2;
    ::close(fd);
    return 0;
}

struct child_run {
    double wall_s = 0;
    long maxrss_kib = 0;
    int status = -1;
};

child_run run_child(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (const std::string& w : words)
        argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int ws = 0;
    struct rusage ru {};
    ::wait4(pid, &ws, 0, &ru);
    child_run r;
    r.wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.maxrss_kib = ru.ru_maxrss;
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    return r;
}

// The requests logged since `from` bytes, as "cmd part payload crc32" lines.
std::string requests_since(const std::string& log, std::streamoff& from) {
    std::ifstream in(log);
    in.seekg(from);
    std::string out, line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string w, picked;
        while (words >> w)
            if (w.starts_with("cmd=") || w.starts_with("part=") || w.starts_with("payload=") || w.starts_with("crc32="))
                picked += w + " ";
        out += picked + "\n";
    }
    in.clear();
    in.seekg(0, std::ios::end);
    from = in.tellg();
    return out;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

int compare(const std::string& self, const std::string& tool, const std::string& iface, const std::string& fw,
            const std::string& pxe, const std::string& log, int rounds) {
    const std::string maintain = "/sys/class/net/" + iface + "/maintain";
    const std::vector<std::string> tool_cmd = {tool, "-q", "-d", iface, "-pxe", pxe, "-fw", fw};
    const std::vector<std::string> plain_cmd = {self, "plain", maintain, fw, pxe};
    std::vector<double> tool_s, plain_s;
    long tool_rss = 0, plain_rss = 0;
    std::streamoff at = 0;
    requests_since(log, at);
    for (int i = 0; i < rounds; ++i) {
        for (int k = 0; k < 2; ++k) {
            const bool tool_turn = (i + k) % 2 == 0;
            const child_run r = run_child(tool_turn ? tool_cmd : plain_cmd);
            const std::string reqs = requests_since(log, at);
            static std::string first_reqs;
            if (r.status != 0) {
                std::fprintf(stderr, "%s ended with status %d\n", tool_turn ? "the tool" : "the plain program", r.status);
                return 2;
            }
            if (first_reqs.empty())
                first_reqs = reqs;
            if (reqs != first_reqs) {
                std::fprintf(stderr, "different requests:\n%s---\n%s", first_reqs.c_str(), reqs.c_str());
                return 2;
            }
            (tool_turn ? tool_s : plain_s).push_back(r.wall_s);
            (tool_turn ? tool_rss : plain_rss) = std::max(tool_turn ? tool_rss : plain_rss, r.maxrss_kib);
        }
    }
    const double t = median(tool_s), p = median(plain_s), ratio = t / p;
    std::printf("firmware 0x41000 + PXE 0x80000 bytes, %d rounds each, same requests:\n", rounds);
    std::printf("  tool           %7.1f ms (median)  peak RSS %ld KiB\n", t * 1000, tool_rss);
    std::printf("  plain program  %7.1f ms (median)  peak RSS %ld KiB\n", p * 1000, plain_rss);
    std::printf("  ratio tool/plain %.3f (limit %.1f); tool peak RSS %.2f MiB (limit 8)\n", ratio, MAX_RATIO,
                tool_rss / 1024.0);
    return ratio <= MAX_RATIO && tool_rss < MAX_RSS_KIB ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "plain") == 0)
        return plain(argv[2], argv[3], argv[4]);
    if (argc == 8 && std::strcmp(argv[1], "compare") == 0) {
        char self[4096];
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0)
            return 2;
        self[n] = 0;
        return compare(self, argv[2], argv[3], argv[4], argv[5], argv[6], std::atoi(argv[7]));
    }
    std::fprintf(stderr,
                 "usage: fw_update_bench plain MAINTAIN FW PXE\n"
                 "       fw_update_bench compare TOOL IFACE FW PXE LOG ROUNDS\n");
    return 2;
}
