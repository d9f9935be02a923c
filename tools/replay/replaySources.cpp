#include "replay/replaySources.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "replay/logLine.h"

namespace {

// A looped file starts again one sentence period after its last line, not in the same instant.
constexpr double loopGap = 1;

}  // namespace

std::unique_ptr<fileSource> fileSource::open(const std::string &path, sim::stream stream,
                                             const replayOptions &options, std::string &why) {
    std::FILE *file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        why = "cannot read " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<fileSource>(new fileSource(file, stream, options));
}

fileSource::fileSource(std::FILE *file, sim::stream stream, const replayOptions &options)
    : file_(file), pace_(options.pace), rate_(options.rate), loop_(options.loop) {
    current_.stream = stream;
}

fileSource::~fileSource() {
    std::free(line_);
    std::fclose(file_);
}

// Reads up to the next line that holds a sentence; at the end of the file starts it again when
// looping, unless the last round found nothing to send.
bool fileSource::nextLine() {
    for (;;) {
        ssize_t n = getline(&line_, &capacity_, file_);
        if (n < 0) {
            if (!loop_ || inRound_ == 0) return false;
            std::rewind(file_);
            inRound_ = 0;
            roundStart_ = current_.due + loopGap;
            recorded_.restart();
            continue;
        }
        auto line = nmea::readLogLine(std::string_view(line_, static_cast<std::size_t>(n)));
        if (!line) continue;
        current_.text = line->sentence;
        current_.due = dueOf(line->stamp);
        ++inRound_;
        return true;
    }
}

double fileSource::dueOf(std::optional<double> stamp) {
    switch (pace_) {
        case paceMode::fast:  // one line of each file in turn
            return static_cast<double>(sent_);
        case paceMode::rate:
            return static_cast<double>(sent_) / rate_;
        case paceMode::recorded:
            break;
    }
    std::optional<nmea::lineTime> time;
    if (stamp) {
        time = nmea::lineTime{*stamp, true};
    } else if (auto ofDay = nmea::sentenceTimeOfDay(current_.text)) {
        time = nmea::lineTime{*ofDay, false};
    }
    return roundStart_ + recorded_.due(time);
}

bool fileSource::advance() {
    if (!nextLine()) return false;
    ++sent_;
    return true;
}

simulationSource::simulationSource(const sim::simulationParams &params,
                                   const replayOptions &options, double startUtc)
    : params_(params), secondsPerTick_(1), startUtc_(startUtc) {
    if (options.pace == paceMode::rate) secondsPerTick_ = 1 / options.rate;
}

bool simulationSource::advance() {
    if (++item_ >= sim::simulatedSecond::size) {
        item_ = 0;
        ++tick_;
        double elapsed = static_cast<double>(tick_);
        sim::buildSecond(params_, elapsed, startUtc_ + elapsed, second_);
    }
    current_.text = second_.sentence(item_);
    current_.stream = sim::simulatedSecond::streams[item_];
    current_.due = static_cast<double>(tick_) * secondsPerTick_;
    return true;
}
