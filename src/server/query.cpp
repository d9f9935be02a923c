#include "query.h"

#include <charconv>
#include <cstdint>
#include <cstring>

#include "../sentences/utcCalendar.h"

const std::string_view headerString =
    "LOGHOST.SYSTEM.UTC,SHIP.GPS.TIME,ROV.PRESSURE,ROV.CTD.PRESSURE,SHIP.GPS.LAT,SHIP.GPS.LON,"
    "SHIP.GPS.DIFFERENTIAL,SHIP.GPS.HORIZONTAL_VELOCITY,SHIP.GPS.HDOP,SHIP.GYRO.DEGREES.UTC,"
    "SHIP.GYRO.DEGREES,SHIP.WIND.TRUE_SPEED.UTC,SHIP.WIND.TRUE_SPEED,SHIP.WIND.TRUE_DIRECTION,"
    "ROV.POSITION.LAT.UTC,ROV.POSITION.LAT,ROV.POSITION.LON,ROV.KELTO.DEPTH,ROV.HEADING,"
    "ROV.PITCH,ROV.ROLL,ROV.ALTITUDE,LOGHOST.SYSTEM.CLOCKTIME.YEAR,"
    "LOGHOST.SYSTEM.CLOCKTIME.YEARDAY,LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING,"
    "LOGHOST.SYSTEM.CLOCKTIME.TIMEZONE";

namespace {

// Widest texts of each form, comma included.
constexpr std::size_t integerWidth = 20 + 1;          // -9223372036854775808,
constexpr std::size_t doubleWidth = 1 + 309 + 7 + 1;  // -DBL_MAX with six decimals,
constexpr std::size_t floatWidth = 1 + 39 + 7 + 1;    // -FLT_MAX with six decimals,
constexpr std::size_t placeholderWidth = 8;           // NO_ITEM,
constexpr std::size_t timestampWidth = 20 + 20 + 3;   // Www Mmm dd hh:mm:ss <year>,+0
constexpr std::size_t longestRecord =
    5 * integerWidth + 8 * doubleWidth + floatWidth + 9 * placeholderWidth + 4 + timestampWidth;
static_assert(longestRecord + 1 <= recordCapacity);

// Appends to a record without the C library's locale: the point is always a point. Each
// append is sized by the record's capacity, so it cannot run past the buffer.
struct recordWriter {
    char *ptr;
    char *end;

    void integer(std::int64_t value) {
        ptr = std::to_chars(ptr, end, value).ptr;
        *ptr++ = ',';
    }
    // Exactly printf's "%f": six decimals, correctly rounded, "-0.000000", "inf", "-nan".
    void real(double value) {
        ptr = std::to_chars(ptr, end, value, std::chars_format::fixed, 6).ptr;
        *ptr++ = ',';
    }
    void text(std::string_view s) {
        std::memcpy(ptr, s.data(), s.size());
        ptr += s.size();
    }
    void twoDigits(int value) {
        *ptr++ = static_cast<char>('0' + value / 10);
        *ptr++ = static_cast<char>('0' + value % 10);
    }
};

// asctime's layout without its newline: "Tue Mar  5 08:07:06 2024".
void appendTimestamp(recordWriter &w, const utcTime &t) {
    static constexpr char weekDays[] = "SunMonTueWedThuFriSat";
    static constexpr char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    w.text(std::string_view(weekDays + 3 * t.weekDay, 3));
    w.text(" ");
    w.text(std::string_view(months + 3 * (t.month - 1), 3));
    w.text(t.day < 10 ? "  " : " ");
    w.ptr = std::to_chars(w.ptr, w.end, t.day).ptr;
    w.text(" ");
    w.twoDigits(t.hour);
    w.text(":");
    w.twoDigits(t.minute);
    w.text(":");
    w.twoDigits(t.second);
    w.text(" ");
    w.ptr = std::to_chars(w.ptr, w.end, t.year).ptr;
}

}  // namespace

std::size_t buildStatusRecord(const shipData &ship, const rovData &rov, clockFn clock,
                              char (&dataString)[recordCapacity]) {
    constexpr std::string_view noItem = "NO_ITEM,";
    recordWriter w{dataString, dataString + recordCapacity};
    w.integer(clock());
    w.integer(ship.zdaTime);
    w.text(noItem);
    w.text(noItem);
    w.real(ship.lat);
    w.real(ship.lon);
    w.integer(ship.qual);
    w.real(ship.sog);
    w.real(ship.hdop);
    w.integer(ship.zdaTime);
    w.real(ship.heading);
    w.text(noItem);
    w.text(noItem);
    w.text(noItem);
    w.real(rov.fixTime);
    w.real(rov.lat);
    w.real(rov.lon);
    w.real(rov.depth);
    w.text(noItem);
    w.text(noItem);
    w.text(noItem);
    w.text(noItem);
    // The calendar fields come from a reading of their own, taken after the fields above.
    utcTime now = breakDownUtc(clock());
    w.integer(now.year);
    w.integer(now.yearDay);
    appendTimestamp(w, now);
    w.text(",+0");
    *w.ptr = '\0';
    return static_cast<std::size_t>(w.ptr - dataString);
}

void replyToQuery(const char *query, int n, const queryPeer &peer, const shipData &ship,
                  const rovData &rov, clockFn clock, std::FILE *console,
                  char (&dataString)[recordCapacity]) {
    // A failed receive has no sender to answer: its address would be the previous query's.
    if (n < 0) return;
    const auto *to = reinterpret_cast<const sockaddr *>(peer.cliaddr);
    if (n >= 6 && std::memcmp(query, "HEADER", 6) == 0) {
        std::fputs("sending header to client\n", console);
        std::fflush(console);
        // A lost reply is the client's to notice: it asks again.
        sendto(peer.serverfd, headerString.data(), headerString.size(), 0, to, peer.len);
        return;
    }
    std::size_t length = buildStatusRecord(ship, rov, clock, dataString);
    std::fwrite(dataString, 1, length, console);
    std::fputc('\n', console);
    // As above, an unanswered client asks again.
    sendto(peer.serverfd, dataString, length, 0, to, peer.len);
}
