// navreplay's command line.
#pragma once

#include <string>

#include "replay/simulation.h"

enum class paceMode { recorded, rate, fast };

struct replayOptions {
    std::string shipFile;
    std::string rovFile;
    bool simulate = false;
    sim::simulationParams sim;
    std::string host = "127.0.0.1";
    int shipPort = 38002;
    int rovPort = 20289;
    paceMode pace = paceMode::recorded;
    double rate = 1;  // sentences a second per stream, with paceMode::rate
    bool loop = false;
    long long count = 0;  // 0: no limit
    double duration = 0;  // seconds; 0: no limit
    bool crlf = true;
    bool echo = false;
};

enum class replayParse { run, help, usageError };

replayParse parseReplayOptions(int argc, char **argv, replayOptions &options, std::string &why);

extern const char *const replayUsage;
