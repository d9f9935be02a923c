// Where navreplay's sentences come from: a log file per stream, or the simulation for both.
// Each source offers one sentence at a time with the moment it is due; the main loop sends
// whichever is due first.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "replay/recordedPace.h"
#include "replay/replayOptions.h"
#include "replay/simulation.h"

struct pendingSentence {
    std::string_view text;
    sim::stream stream;
    double due;  // seconds after the start of the run; with --fast only the order counts
};

class sentenceSource {
  public:
    virtual ~sentenceSource() = default;
    // Moves to the next sentence; false when there is none.
    virtual bool advance() = 0;
    const pendingSentence &current() const { return current_; }

  protected:
    pendingSentence current_{};
};

class fileSource : public sentenceSource {
  public:
    // Null, with a reason, when the file cannot be opened.
    static std::unique_ptr<fileSource> open(const std::string &path, sim::stream stream,
                                            const replayOptions &options, std::string &why);
    ~fileSource() override;
    bool advance() override;

  private:
    fileSource(std::FILE *file, sim::stream stream, const replayOptions &options);
    bool nextLine();
    double dueOf(std::optional<double> stamp);

    std::FILE *file_;
    char *line_ = nullptr;  // getline's buffer, reused for every line
    std::size_t capacity_ = 0;
    paceMode pace_;
    double rate_;
    bool loop_;
    long long sent_ = 0;     // in all rounds, for a fixed rate
    long long inRound_ = 0;  // sentences in this round of the file
    double roundStart_ = 0;  // when this round's first timed line is due
    nmea::recordedPace recorded_;
};

// Simulated seconds follow one another at one a second, at --rate a second, or back to back
// with --fast; their UTC times start at the host clock's whole second when the run starts and
// go up by one a simulated second, so a quickened simulation runs ahead of the host clock.
class simulationSource : public sentenceSource {
  public:
    simulationSource(const sim::simulationParams &params, const replayOptions &options,
                     double startUtc);
    bool advance() override;

  private:
    sim::simulationParams params_;
    double secondsPerTick_;
    double startUtc_;
    long long tick_ = -1;
    std::size_t item_ = sim::simulatedSecond::size;
    sim::simulatedSecond second_{};
};
