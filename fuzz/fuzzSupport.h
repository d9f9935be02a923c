// What every target shares: the server's receive buffer handling, a failure that libFuzzer
// reports as a crash, and comparisons that tell -0.0 from 0.0 and NaN from NaN.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "server/loop.h"

namespace fuzz {

// A mismatch is a finding: say what differed, then crash so that libFuzzer saves the input.
[[noreturn]] inline void fail(const std::string &what) {
    std::fprintf(stderr, "\n*** FINDING: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

// The description is built only on failure: building it for every check would cost more than
// the code under test.
#define FUZZ_CHECK(condition, description)           \
    do {                                             \
        if (!(condition)) ::fuzz::fail(description); \
    } while (0)

// Byte-for-byte equality: -0.0 differs from 0.0, and a NaN equals only the same NaN.
template <typename T>
bool sameBits(const T &a, const T &b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Printable form of bytes for a finding, with anything unusual escaped.
inline std::string escaped(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

// The server's receive buffer: datagramSize bytes and one spare byte that stays zero, cleared
// before every receive, which takes at most datagramSize bytes. It lives alone on the heap, so
// a read past the spare byte is an AddressSanitizer report rather than a quiet read of the
// next member of the server's state.
class receiveBuffer {
  public:
    static_assert(sizeof(serverState::ship_buffer) == datagramSize + 1);
    static_assert(sizeof(serverState::rov_buffer) == datagramSize + 1);
    static_assert(sizeof(serverState::tavrin_buffer) == datagramSize + 1);

    receiveBuffer() : bytes_(new char[datagramSize + 1]) {}

    // Returns the receive count: what recvfrom reports for a datagram of `size` bytes.
    int receive(const std::uint8_t *data, std::size_t size) {
        std::memset(bytes_.get(), 0, datagramSize + 1);
        std::size_t n = std::min<std::size_t>(size, datagramSize);
        if (n > 0) std::memcpy(bytes_.get(), data, n);
        return static_cast<int>(n);
    }
    char *data() { return bytes_.get(); }
    bool spareByteIsZero() const { return bytes_[datagramSize] == '\0'; }

  private:
    std::unique_ptr<char[]> bytes_;
};

// A console stream in memory: everything written since the last take().
class memoryConsole {
  public:
    memoryConsole() : stream_(fmemopen(text_, sizeof text_, "w")) {
        if (stream_ == nullptr) fail("fmemopen failed");
    }
    std::FILE *stream() { return stream_; }
    std::string take() {
        std::fflush(stream_);
        long n = std::ftell(stream_);
        std::string out(text_, static_cast<std::size_t>(std::max(n, 0L)));
        std::rewind(stream_);
        return out;
    }

  private:
    char text_[recordCapacity + 256];
    std::FILE *stream_;
};

}  // namespace fuzz
