// Replaying a log at the pace it was recorded: each line is due as long after the stream's first
// timed line as it was recorded after it. A line's time is its time stamp or, in a log without
// stamps, the UTC time of day its sentence carries.
#pragma once

#include <optional>

namespace nmea {

struct lineTime {
    double seconds;  // since the epoch for a stamp, since midnight for a sentence's own time
    bool fromStamp;
};

class recordedPace {
  public:
    // Seconds after the start of the round at which a line is due. A line without a time goes
    // with the line before it; a line whose time steps back a little goes at once; a step back
    // of more than a minute (logs joined end to end) starts the pacing afresh from that line.
    double due(std::optional<lineTime> time);
    // Starts a new round (the file is replayed again from its beginning).
    void restart() { *this = recordedPace{}; }

  private:
    bool started_ = false;
    bool stamps_ = false;  // once a stamp is seen, sentence times no longer count
    double origin_ = 0;    // recorded time that is due at 0
    double latest_ = 0;    // latest recorded time so far, midnight turns counted
    double dayShift_ = 0;  // days added to sentence times after midnight turns
    double lastDue_ = 0;
};

}  // namespace nmea
