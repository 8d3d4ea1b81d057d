// The whole command line, run in-process: the input split at NUL bytes gives
// the arguments. Only the file-backed road is taken, over one fixed flash
// image, so no card and no driver is reached; the tool works in a folder of
// its own and no argument can name a file outside it.
//
// What must hold: the run ends with 0 or -1; the image file is never written;
// every file the run leaves behind is a partition dump equal to that
// partition's slice of the image.
#define FUZZ_TARGET_NAME "command_line"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "record/cfg.h"
#include "flash/file_eeprom.h"
#include "base/file_io.h"
#include "fuzz_support.h"
#include "base/flash_layout.h"
#include "cli/main_driver.h"
#include "maintain/maintain.h"
#include "base/unique_fd.h"

namespace {

constexpr std::size_t MAX_ARGS = 64;

struct fixture {
    std::string image_path;  // the only name that holds a '/': out of the arguments' reach
    std::string run_dir;     // the tool's working folder
    std::vector<u8> image;
    struct stat image_stat {};
};

// A full-size image whose bytes differ from partition to partition and that
// holds a valid user record, so the setters and the save are reached.
std::vector<u8> make_image() {
    std::vector<u8> image(FW_BIN_MAX_SZ);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<u8>(i * 7 + (i >> 12));
    ucfg_mac_sn record;
    std::memcpy(&record, image.data() + UCFG_MAC_SN_PARTION, sizeof record);
    record.magic = MAC_SN_MAGIC;
    std::memcpy(image.data() + UCFG_MAC_SN_PARTION, &record, sizeof record);
    return image;
}

const fixture& the_fixture() {
    static const fixture f = [] {
        fixture x;
        x.image_path = fuzz::scratch_dir() + "/flash.bin";
        x.run_dir = fuzz::scratch_dir() + "/run";
        std::filesystem::create_directory(x.run_dir);
        x.image = make_image();
        if (write_to_file(x.image, x.image_path.c_str()) != static_cast<int>(x.image.size()) ||
            ::stat(x.image_path.c_str(), &x.image_stat) != 0)
            fuzz::invariant_broken(FUZZ_TARGET_NAME, "cannot set up " + fuzz::scratch_dir());
        fuzz::silence_stdout();
        return x;
    }();
    return f;
}

// The option name a word gives, dashes (one or two) removed.
bool names_option(const std::string& word, const char* name) {
    const std::size_t dashes = word.rfind("--", 0) == 0 ? 2 : (word.rfind('-', 0) == 0 ? 1 : 0);
    return dashes > 0 && word.compare(dashes, std::string::npos, name) == 0;
}

// Arguments from the input: NUL-separated words, '/' turned into '_' so that
// every file name stays inside the working folder.
std::vector<std::string> words_of(const u8* data, std::size_t size) {
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < size && words.size() <= MAX_ARGS; ++i) {
        if (data[i] == 0)
            words.emplace_back();
        else
            words.back().push_back(data[i] == '/' ? '_' : static_cast<char>(data[i]));
    }
    if (words.size() > MAX_ARGS)
        words.resize(MAX_ARGS);
    return words;
}

void check_left_files(const fixture& f) {
    for (const auto& entry : std::filesystem::directory_iterator(f.run_dir)) {
        const std::string name = entry.path().filename().string();
        const auto dump = fuzz::file_content(entry.path().string());
        bool is_slice = false;
        for (int partion = 1; partion <= PART_MAX && dump && !is_slice; ++partion) {
            const auto p = find_eeprom_partion(partion);
            is_slice = p && dump->size() == static_cast<std::size_t>(p->size) &&
                       std::memcmp(dump->data(), f.image.data() + p->offset, dump->size()) == 0;
        }
        FUZZ_CHECK(is_slice, "left file '" + name + "' is no partition of the image");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fixture& f = the_fixture();
    fuzz::empty_dir(f.run_dir);

    std::vector<std::string> words = words_of(data, size);
    for (std::size_t i = 0; i + 1 < words.size(); ++i)
        if (names_option(words[i], "eeprom"))
            words[i + 1] = f.image_path;  // a later -eeprom names the same image
    words.insert(words.begin(), {"kv7update_tool", "-eeprom", f.image_path});

    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    // The tool's relative names (the default dump file among them) land in
    // the run folder; libFuzzer's own relative paths need the old folder back.
    const unique_fd here(::open(".", O_RDONLY | O_DIRECTORY));
    if (!here || ::chdir(f.run_dir.c_str()) != 0)
        fuzz::invariant_broken(FUZZ_TARGET_NAME, "cannot enter " + f.run_dir);
    const fuzz::call_result r = fuzz::call_catching_end(
        [&] { return kv7update_tool_main(static_cast<int>(argv.size()) - 1, argv.data()); });
    std::fflush(stdout);
    if (::fchdir(here.get()) != 0)
        fuzz::invariant_broken(FUZZ_TARGET_NAME, "cannot leave " + f.run_dir);

    FUZZ_CHECK(r.status == 0 || r.status == -1, "status " + std::to_string(r.status));
    struct stat now {};
    FUZZ_CHECK(::stat(f.image_path.c_str(), &now) == 0 && now.st_size == f.image_stat.st_size &&
                   now.st_mtim.tv_sec == f.image_stat.st_mtim.tv_sec &&
                   now.st_mtim.tv_nsec == f.image_stat.st_mtim.tv_nsec,
               "the image file was written");
    check_left_files(f);
    return 0;
}
