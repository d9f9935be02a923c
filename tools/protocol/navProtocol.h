// The server's query protocol as a client sees it: the header of 26 channel names, the status
// record of 26 fields in the header's order, the data ages that follow from the record, and the
// record written out as an aligned table, CSV or JSON lines. Pure text work, no sockets, so that
// any client (the command-line one, a display) can reuse it; queryClient.h does the asking.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace navproto {

inline constexpr std::size_t channelCount = 26;
// Replies are read whole up to this size: records can be far longer than the usual 250 bytes.
inline constexpr std::size_t maxReplyBytes = 65536;

// A query that begins with "HEADER" gets the names; any other query gets a record.
inline constexpr std::string_view headerQuery = "HEADER";
inline constexpr std::string_view statusQuery = "STATUS";

// Record positions, counted from 0, that carry times or text rather than plain values.
inline constexpr std::size_t hostTimeField = 0;      // LOGHOST.SYSTEM.UTC
inline constexpr std::size_t shipTimeField = 1;      // SHIP.GPS.TIME
inline constexpr std::size_t vehicleTimeField = 14;  // ROV.POSITION.LAT.UTC
inline constexpr std::size_t timestampField = 24;    // LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING
inline constexpr std::size_t timezoneField = 25;     // LOGHOST.SYSTEM.CLOCKTIME.TIMEZONE

// Names of the two data ages when they are added as columns or keys.
inline constexpr std::string_view shipAgeName = "SHIP.GPS.TIME.AGE";
inline constexpr std::string_view vehicleAgeName = "ROV.POSITION.LAT.UTC.AGE";

// The channel names the server is built with, in record order.
const std::array<std::string_view, channelCount> &knownChannels();

struct channelHeader {
    std::array<std::string, channelCount> names;
};

// Checks that a header reply is 26 comma-separated names (letters, digits, '.', '_', '-') and
// takes them. False, with a one-line reason, for anything else.
bool parseHeader(std::string_view reply, channelHeader &out, std::string &why);

enum class valueKind {
    number,     // a decimal number as the server prints it
    nonFinite,  // "inf", "-inf", "nan" or "-nan"
    missing,    // "NO_ITEM": a channel the server does not supply
    text,       // the timestamp text and the time zone
};

struct fieldValue {
    std::string_view text;  // as received
    valueKind kind;
    double number;  // the value of a number; infinite when too large for a double
};

// Views into the reply it was parsed from, which must outlive it.
struct statusRecord {
    std::array<fieldValue, channelCount> fields;
};

// Checks that a record reply is 26 fields, every one a number, "NO_ITEM" or a non-finite
// value, except the timestamp text and the time zone at the end. False, with a one-line
// reason, for anything else.
bool parseRecord(std::string_view reply, statusRecord &out, std::string &why);

// How old the ship's last date-and-time sentence and the vehicle's last fix are, in seconds,
// by the host clock in the same record. Unknown when a time is missing, not finite or 0 (the
// server's value until the first sentence arrives).
struct dataAges {
    std::optional<double> ship;
    std::optional<double> vehicle;
};
dataAges computeAges(const statusRecord &record);

// Resolves a comma-separated list of channel names against a header into record positions,
// in the order given. False, naming every unknown name, when one is not in the header.
bool selectChannels(std::string_view list, const std::vector<std::string_view> &names,
                    std::vector<std::size_t> &positions, std::string &why);

enum class outputFormat { table, csv, json };

struct outputOptions {
    outputFormat format = outputFormat::table;
    std::vector<std::size_t> channels;  // record positions to show, in this order; empty: all
    bool ages = false;  // add the data ages as CSV columns or JSON keys (the table always has them)
};

// Writes records in one format. CSV has a header row, written once by appendPreamble; the table
// separates records by a blank line.
class recordFormatter {
  public:
    recordFormatter(const channelHeader &header, outputOptions options);

    void appendPreamble(std::string &out) const;
    void appendRecord(const statusRecord &record, std::string &out);

  private:
    void appendTable(const statusRecord &record, std::string &out) const;
    void appendCsv(const statusRecord &record, std::string &out) const;
    void appendJson(const statusRecord &record, std::string &out) const;

    std::vector<std::string> names_;  // of the shown channels
    std::vector<std::size_t> positions_;
    outputOptions options_;
    std::size_t nameWidth_ = 0;
    long long written_ = 0;
};

// The shortest text that reads back as the same double ("5", "63.5"), as the ages are shown.
std::string formatShortest(double value);

}  // namespace navproto
