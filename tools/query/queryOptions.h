// navquery's command line.
#pragma once

#include <optional>
#include <string>

#include "protocol/navProtocol.h"

struct queryOptions {
    std::string host = "127.0.0.1";
    int port = 8080;
    double timeoutSeconds = 1;
    long long retries = 2;
    std::optional<navproto::outputFormat> format;  // unset: table on a terminal, else CSV
    std::string channels;                          // empty: all
    bool listChannels = false;
    bool ages = false;
    std::optional<double> maxAge;
    bool watch = false;
    double intervalSeconds = 1;
    long long count = 0;  // 0: no limit
};

enum class parseOutcome { run, help, usageError };

parseOutcome parseQueryOptions(int argc, char **argv, queryOptions &options, std::string &why);

extern const char *const queryUsage;
