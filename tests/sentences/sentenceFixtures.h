// Shared by the decoder tests: a scripted clock and a console whose text can be read back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace fixtures {

// The clock reads these in turn (the last one repeats); count tells how often it was read.
struct scriptedClock {
    static inline std::vector<std::int64_t> readings{0};
    static inline std::size_t count = 0;
    static void set(std::vector<std::int64_t> r) {
        readings = std::move(r);
        count = 0;
    }
    static std::int64_t read() {
        std::size_t i = count < readings.size() ? count : readings.size() - 1;
        ++count;
        return readings[i];
    }
};

// A console backed by a temporary file; text() returns everything written and flushed.
class capturedConsole {
  public:
    capturedConsole() : file_(std::tmpfile()) {}
    ~capturedConsole() { std::fclose(file_); }
    capturedConsole(const capturedConsole &) = delete;
    capturedConsole &operator=(const capturedConsole &) = delete;
    std::FILE *get() const { return file_; }
    // What has reached the file so far, without flushing the stream first.
    std::string flushedText() const {
        std::FILE *reader =
            std::fopen(("/proc/self/fd/" + std::to_string(fileno(file_))).c_str(), "rb");
        std::string text;
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, reader)) > 0) text.append(buf, n);
        std::fclose(reader);
        return text;
    }
    std::string text() const {
        std::fflush(file_);
        return flushedText();
    }

  private:
    std::FILE *file_;
};

// A receive buffer as the server keeps it: zeroed, with a spare zero byte after 1024.
struct receiveBuffer {
    char bytes[1025];
    explicit receiveBuffer(const std::string &text) {
        std::memset(bytes, 0, sizeof bytes);
        std::memcpy(bytes, text.data(), text.size() < 1024 ? text.size() : 1024);
    }
};

}  // namespace fixtures
