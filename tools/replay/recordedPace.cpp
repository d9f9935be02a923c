#include "replay/recordedPace.h"

#include <algorithm>

namespace nmea {

namespace {

constexpr double secondsPerDay = 86400;
// Further back than this is a new recording, not receivers disagreeing by a moment.
constexpr double restartStepBack = 60;

}  // namespace

double recordedPace::due(std::optional<lineTime> time) {
    if (!time) return lastDue_;
    if (time->fromStamp && !stamps_) {
        stamps_ = true;
        started_ = false;
    }
    if (!time->fromStamp && stamps_) return lastDue_;

    double recorded = time->seconds;
    if (!time->fromStamp) {
        recorded += dayShift_;
        // A time of day that falls by more than half a day has passed midnight.
        if (started_ && recorded < latest_ - secondsPerDay / 2) {
            dayShift_ += secondsPerDay;
            recorded += secondsPerDay;
        }
    }
    if (!started_ || recorded < latest_ - restartStepBack) {
        origin_ = recorded - lastDue_;
        latest_ = recorded;
        started_ = true;
    }
    latest_ = std::max(latest_, recorded);
    lastDue_ = std::max(lastDue_, recorded - origin_);
    return lastDue_;
}

}  // namespace nmea
