#include "message_sink.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {

thread_local message_sink* current_sink = nullptr;

}  // namespace

void message_sink::print(const char* format, ...) {
    char small[512];
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        va_end(again);
        write(std::string_view(small, static_cast<std::size_t>(n)));
        return;
    }
    std::vector<char> large(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    va_end(again);
    write(std::string_view(large.data(), static_cast<std::size_t>(n)));
}

void stdout_sink::write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void stdout_sink::write_error(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stderr); }

void stdout_sink::flush() { std::fflush(stdout); }

std::string buffer_sink::last_line() const {
    const std::size_t end = text_.find_last_not_of("\n ");
    if (end == std::string::npos)
        return "";
    const std::size_t nl = text_.rfind('\n', end);
    const std::size_t start = nl == std::string::npos ? 0 : nl + 1;
    return text_.substr(start, end + 1 - start);
}

message_sink& messages() {
    static stdout_sink standard_output;
    return current_sink ? *current_sink : standard_output;
}

message_sink* install_message_sink(message_sink* sink) {
    message_sink* const before = current_sink;
    current_sink = sink;
    return before;
}
