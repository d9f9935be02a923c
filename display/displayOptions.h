// navdisplay's command line.
#pragma once

#include <string>

struct displayOptions {
    std::string host = "127.0.0.1";  // the navigation server
    int port = 8080;
    double intervalSeconds = 1;
    double timeoutSeconds = 0.5;  // per try
    long long retries = 1;
    std::string listen = "127.0.0.1";  // the web page's address: this host only, unless asked
    int httpPort = 8088;               // 0: any free port, printed at start
    double historySeconds = 3600;
    double amberAfter = 5;  // seconds of data age at which a badge turns amber
    double redAfter = 30;   // and red
};

enum class displayParse { run, help, usageError };

displayParse parseDisplayOptions(int argc, char **argv, displayOptions &options, std::string &why);

extern const char *const displayUsage;
