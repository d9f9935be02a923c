// How old a source's data are. The record's own ages (host time minus the source's time) are
// exact for the ship, but not for the vehicle: its fix time travels as a 32-bit float, which at
// present-day epoch counts moves in steps of 128 s, so a live vehicle's record age wanders
// between about -64 and +64 s. So an age counts from the host time of the record in which the
// display last saw the source's fields change, and the record's own age stands in until the
// display has seen a change.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace display {

class freshnessWatch {
  public:
    // watched: the source's fields as received; recordAge: the record's own age for the source,
    // empty when the source has sent nothing yet; hostTime: the record's host clock.
    std::optional<double> update(std::string_view watched, std::optional<double> recordAge,
                                 double hostTime);

  private:
    bool seen_ = false;
    std::string last_;
    std::optional<double> changedAt_;
};

}  // namespace display
