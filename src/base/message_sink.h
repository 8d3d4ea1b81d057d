// Where the library's texts go. Every text a layer shows (reports, progress,
// refusals, traces, system error reports) is written to the message sink of
// the run it works for, byte for byte as formatted; the front end that owns
// the run decides where that is: kv7update_tool's standard output, or one
// buffer per card for a front end that works on several cards at once.
#pragma once

#include <string>
#include <string_view>

class message_sink {
public:
    virtual ~message_sink() = default;

    // The text as it is, every byte.
    virtual void write(std::string_view text) = 0;
    // A report of a failed system call, "<prefix>: <description>\n"; kept
    // apart from the other texts (the tool shows it on standard error).
    virtual void write_error(std::string_view text) = 0;
    // Shows what has been written so far, before a step that takes a while.
    virtual void flush() {}

    // Formatted like printf.
    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

// Texts to standard output and error reports to standard error, through
// stdio, so the order and buffering are those of printf.
class stdout_sink final : public message_sink {
public:
    void write(std::string_view text) override;
    void write_error(std::string_view text) override;
    void flush() override;
};

// Keeps the texts in memory, for a front end that shows them later or not
// at all.
class buffer_sink final : public message_sink {
public:
    void write(std::string_view text) override { text_.append(text); }
    void write_error(std::string_view text) override { errors_.append(text); }

    const std::string& text() const { return text_; }
    const std::string& errors() const { return errors_; }
    // The last line of text() that holds more than newlines and blanks,
    // without its newline; "" when there is none.
    std::string last_line() const;

private:
    std::string text_;
    std::string errors_;
};

// The sink of the run this thread works for (run_context installs one);
// standard output when none is installed.
message_sink& messages();

// Makes `sink` the calling thread's sink (nullptr: standard output again) and
// returns the one it replaces.
message_sink* install_message_sink(message_sink* sink);

// Sends the calling thread's texts to `sink` while it lives (one step of a
// run whose texts a front end wants on their own), then to the sink before.
class sink_scope {
public:
    explicit sink_scope(message_sink& sink) : outer_(install_message_sink(&sink)) {}
    ~sink_scope() { install_message_sink(outer_); }
    sink_scope(const sink_scope&) = delete;
    sink_scope& operator=(const sink_scope&) = delete;

private:
    message_sink* outer_;
};
