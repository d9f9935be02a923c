#include "dataFreshness.h"

namespace display {

std::optional<double> freshnessWatch::update(std::string_view watched,
                                             std::optional<double> recordAge, double hostTime) {
    // Nothing received (the server's start-up zero) or no usable clock: no age, and a change
    // from here on is the first one again.
    if (!recordAge) {
        seen_ = false;
        changedAt_.reset();
        return std::nullopt;
    }
    if (seen_ && watched != last_) changedAt_ = hostTime;
    seen_ = true;
    last_ = watched;
    if (changedAt_) return hostTime - *changedAt_;
    return recordAge;
}

}  // namespace display
