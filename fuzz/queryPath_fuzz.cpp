// The query path: one datagram in through the server's receive buffer, replyToQuery with real
// UDP sockets on loopback, the reply and the console line out. The state records and both clock
// readings come from the fuzzer too, with infinities, NaNs, the extreme doubles and 64-bit
// counts drawn often. Each reply is checked against what the C library prints for the same
// values: "%f" for every real field, gmtime and asctime for the calendar fields.
//
// The sockets live in a network namespace of this process's own, so nothing but this process
// ever sees the traffic.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cfloat>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "fuzzSupport.h"
#include "privateNetwork.h"
#include "server/query.h"

namespace {

// The channel names as clients know them, in their order.
const char *const channelNames[26] = {
    "LOGHOST.SYSTEM.UTC",
    "SHIP.GPS.TIME",
    "ROV.PRESSURE",
    "ROV.CTD.PRESSURE",
    "SHIP.GPS.LAT",
    "SHIP.GPS.LON",
    "SHIP.GPS.DIFFERENTIAL",
    "SHIP.GPS.HORIZONTAL_VELOCITY",
    "SHIP.GPS.HDOP",
    "SHIP.GYRO.DEGREES.UTC",
    "SHIP.GYRO.DEGREES",
    "SHIP.WIND.TRUE_SPEED.UTC",
    "SHIP.WIND.TRUE_SPEED",
    "SHIP.WIND.TRUE_DIRECTION",
    "ROV.POSITION.LAT.UTC",
    "ROV.POSITION.LAT",
    "ROV.POSITION.LON",
    "ROV.KELTO.DEPTH",
    "ROV.HEADING",
    "ROV.PITCH",
    "ROV.ROLL",
    "ROV.ALTITUDE",
    "LOGHOST.SYSTEM.CLOCKTIME.YEAR",
    "LOGHOST.SYSTEM.CLOCKTIME.YEARDAY",
    "LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING",
    "LOGHOST.SYSTEM.CLOCKTIME.TIMEZONE",
};

std::string expectedHeader() {
    std::string header;
    for (const char *name : channelNames) header += std::string(header.empty() ? "" : ",") + name;
    return header;
}

// ---- values from fuzzer bytes -------------------------------------------------------------

// Reads values from the front of the input; past its end every value is zero.
class valueReader {
  public:
    valueReader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    template <typename T>
    T raw() {
        unsigned char bytes[sizeof(T)] = {};
        for (auto &b : bytes) b = pos_ < size_ ? data_[pos_++] : 0;
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    // One selector byte, then either a value from a table of extremes or raw bits.
    double real() {
        static const double specials[] = {
            0.0,
            -0.0,
            std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(),
            std::numeric_limits<double>::quiet_NaN(),
            -std::numeric_limits<double>::quiet_NaN(),
            DBL_MAX,
            -DBL_MAX,
            DBL_MIN,
            std::numeric_limits<double>::denorm_min(),
            -std::numeric_limits<double>::denorm_min(),
            FLT_MAX,
            -1e300,
            0.0000005,   // half a unit of the last printed decimal: rounding
            -0.0000005,  // must go as printf's does
            0.0000015,
            2.5e-7,
            999999.9999995,
            -45.123456789,
            1709625984.0,
        };
        std::uint8_t selector = raw<std::uint8_t>();
        if (selector % 2 == 0) return specials[(selector / 2) % std::size(specials)];
        return raw<double>();
    }
    float single() {
        std::uint8_t selector = raw<std::uint8_t>();
        if (selector % 4 == 0) return raw<float>();
        return static_cast<float>(realAsFloat());
    }
    std::int64_t count() {
        static const std::int64_t specials[] = {
            0,
            -1,
            1709626026,
            1735689599,
            1735689600,
            253402300799,
            253402300800,
            -62135596801,
            INT64_MAX,
            INT64_MIN,
            INT64_MAX - 1,
            INT_MAX,
            INT_MIN,
            -67768040609740800,
            67767976233316800,
        };
        std::uint8_t selector = raw<std::uint8_t>();
        if (selector % 2 == 0) return specials[(selector / 2) % std::size(specials)];
        return raw<std::int64_t>();
    }
    std::size_t used() const { return pos_; }

  private:
    // A double as a float would be stored, without an undefined out-of-range conversion.
    double realAsFloat() {
        double v = real();
        if (std::isnan(v) || std::fabs(v) <= FLT_MAX) return v;
        return v > 0 ? std::numeric_limits<float>::infinity()
                     : -std::numeric_limits<float>::infinity();
    }
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

struct scenario {
    shipData ship{};
    rovData rov{};
    std::int64_t clocks[2] = {};
};

// The records and clock readings take the front of the input; the rest is the datagram. An
// input too short for them is all datagram, with zeroed records, so plain text seeds work.
constexpr std::size_t scenarioBytes = 128;

scenario readScenario(const std::uint8_t *data, std::size_t size) {
    scenario s;
    if (size < scenarioBytes) return s;
    valueReader in(data, scenarioBytes);
    s.ship.lat = in.real();
    s.ship.lon = in.real();
    s.ship.qual = in.raw<int>();
    s.ship.sog = in.single();
    s.ship.hdop = in.real();
    s.ship.zdaTime = in.count();
    s.ship.heading = in.real();
    s.rov.fixTime = in.real();
    s.rov.lat = in.real();
    s.rov.lon = in.real();
    s.rov.depth = in.real();
    s.clocks[0] = in.count();
    s.clocks[1] = in.count();
    return s;
}

int clockCalls = 0;
std::int64_t clockValues[2];
std::int64_t scriptedClock() {
    return clockValues[std::min(clockCalls++, 1)];
}

// ---- the sockets ----------------------------------------------------------------------------

int boundLoopbackSocket(sockaddr_in *address) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof self;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&self), sizeof self) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(address), &len) != 0) {
        fuzz::fail("cannot open a loopback socket");
    }
    return fd;
}

struct loopbackPair {
    int serverfd;
    int clientfd;
    sockaddr_in clientAddress;
};

// The next datagram waiting for the client, if any: a send on loopback is delivered before
// sendto returns, so nothing waiting means nothing was sent.
bool takeReply(int fd, std::string *reply) {
    static char bytes[70000];
    ssize_t n = recv(fd, bytes, sizeof bytes, MSG_DONTWAIT);
    if (n < 0) return false;
    reply->assign(bytes, static_cast<std::size_t>(n));
    return true;
}

// ---- the expected record ------------------------------------------------------------------

std::string printedReal(double value) {
    char text[400];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

std::vector<std::string> splitAtCommas(const std::string &record) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = record.find(',', start);
        fields.push_back(record.substr(start, comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

// Fields 23 to 25 from the C library, where its broken-down time can hold the year.
bool calendarFields(std::int64_t now, std::string *year, std::string *yearDay,
                    std::string *timestamp) {
    time_t t = static_cast<time_t>(now);
    std::tm parts{};
    char text[64];
    if (gmtime_r(&t, &parts) == nullptr || asctime_r(&parts, text) == nullptr) return false;
    *year = std::to_string(static_cast<long long>(parts.tm_year) + 1900);
    *yearDay = std::to_string(parts.tm_yday);
    *timestamp = std::string(text, std::strlen(text) - 1);  // without asctime's newline
    return true;
}

void checkRecord(const std::string &reply, const scenario &s) {
    const std::vector<std::string> fields = splitAtCommas(reply);
    const std::string shown = fuzz::escaped(reply);
    FUZZ_CHECK(fields.size() == 26, std::to_string(fields.size()) + " fields in " + shown);
    const std::string noItem = "NO_ITEM";
    const std::string expected[22] = {
        std::to_string(s.clocks[0]),
        std::to_string(s.ship.zdaTime),
        noItem,
        noItem,
        printedReal(s.ship.lat),
        printedReal(s.ship.lon),
        std::to_string(s.ship.qual),
        printedReal(s.ship.sog),
        printedReal(s.ship.hdop),
        std::to_string(s.ship.zdaTime),
        printedReal(s.ship.heading),
        noItem,
        noItem,
        noItem,
        printedReal(s.rov.fixTime),
        printedReal(s.rov.lat),
        printedReal(s.rov.lon),
        printedReal(s.rov.depth),
        noItem,
        noItem,
        noItem,
        noItem,
    };
    for (int i = 0; i < 22; ++i) {
        FUZZ_CHECK(fields[i] == expected[i], "field " + std::to_string(i + 1) + " is " +
                                                 fuzz::escaped(fields[i]) + ", printf gives " +
                                                 expected[i]);
    }
    FUZZ_CHECK(fields[25] == "+0", "the record does not end in +0: " + shown);
    std::string year, yearDay, timestamp;
    if (calendarFields(s.clocks[1], &year, &yearDay, &timestamp)) {
        FUZZ_CHECK(fields[22] == year && fields[23] == yearDay && fields[24] == timestamp,
                   "calendar fields differ from gmtime and asctime: " + shown);
    }
}

// ---- the target -----------------------------------------------------------------------------

loopbackPair &sockets() {
    static loopbackPair pair = [] {
        if (!enterPrivateNetwork()) fuzz::fail("cannot enter a private network namespace");
        loopbackPair p{};
        sockaddr_in unused{};
        p.serverfd = boundLoopbackSocket(&unused);
        p.clientfd = boundLoopbackSocket(&p.clientAddress);
        return p;
    }();
    return pair;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static fuzz::receiveBuffer buffer;
    static fuzz::memoryConsole console;
    static auto *dataString = new char[recordCapacity];  // alone on the heap, as in receiveBuffer
    static const std::string header = expectedHeader();
    loopbackPair &net = sockets();

    const scenario s = readScenario(data, size);
    const std::size_t skip = size < scenarioBytes ? 0 : scenarioBytes;
    const int n = buffer.receive(data + skip, size - skip);

    clockCalls = 0;
    clockValues[0] = s.clocks[0];
    clockValues[1] = s.clocks[1];
    replyToQuery(buffer.data(), n,
                 queryPeer{net.serverfd, &net.clientAddress, sizeof net.clientAddress}, s.ship,
                 s.rov, scriptedClock, console.stream(),
                 *reinterpret_cast<char(*)[recordCapacity]>(dataString));
    const std::string printed = console.take();
    std::string reply;
    FUZZ_CHECK(takeReply(net.clientfd, &reply), "no reply was sent");
    std::string extra;
    FUZZ_CHECK(!takeReply(net.clientfd, &extra), "more than one reply was sent");
    FUZZ_CHECK(buffer.spareByteIsZero(), "the spare byte after the buffer was written");

    if (n >= 6 && std::memcmp(data + skip, "HEADER", 6) == 0) {
        FUZZ_CHECK(reply == header, "header reply " + fuzz::escaped(reply));
        FUZZ_CHECK(printed == "sending header to client\n", "console " + fuzz::escaped(printed));
        FUZZ_CHECK(clockCalls == 0, "the header reply read the clock");
    } else {
        FUZZ_CHECK(printed == reply + "\n", "the console line is not the record and a newline");
        FUZZ_CHECK(clockCalls == 2, std::to_string(clockCalls) + " clock readings for one record");
        checkRecord(reply, s);
    }
    return 0;
}
