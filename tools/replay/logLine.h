// Lines of an NMEA log file as the replayer reads them: one sentence a line, '#' comments and
// blank lines skipped, and an optional leading time stamp such as
// "2014-08-01T00:00:00.814000Z " that loggers put before each sentence.
#pragma once

#include <optional>
#include <string_view>

namespace nmea {

struct logLine {
    std::string_view sentence;    // without the time stamp, surrounding blanks and line end
    std::optional<double> stamp;  // the time stamp, in seconds since the epoch
};

// The sentence on a line, or nothing for a comment, a blank line or a time stamp alone.
std::optional<logLine> readLogLine(std::string_view line);

// Removes a leading "YYYY-MM-DDThh:mm:ss[.fff]Z" and the blanks after it; leaves any other text
// as it is (stamp then stays empty).
std::string_view stripTimeStamp(std::string_view line, std::optional<double> &stamp);

// The UTC time of day a sentence carries, in seconds after midnight, for the sentence types that
// carry one (ZDA, GGA, RMC, GNS, GST, GBS and GLL, from any talker).
std::optional<double> sentenceTimeOfDay(std::string_view sentence);

}  // namespace nmea
