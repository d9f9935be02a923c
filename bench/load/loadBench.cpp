// The end-to-end load benchmark. Runs in a network namespace of its own, so the fixed ports
// are free and every datagram stays on this machine's loopback; every stream is bounded in
// count and in time.
//
//   load_bench [--quick] [--no-valgrind] [--only ingest|queries|memory]
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "loadBench.h"
#include "privateNetwork.h"

#ifndef TAVRIN_SERVER_PATH
#error "TAVRIN_SERVER_PATH must name the server binary"
#endif

namespace {

struct options {
    bool quick = false;
    bool valgrind = true;
    std::string only;
};

bool parseOptions(int argc, char **argv, options *opts) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            opts->quick = true;
        } else if (std::strcmp(argv[i], "--no-valgrind") == 0) {
            opts->valgrind = false;
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            opts->only = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--quick] [--no-valgrind] [--only ingest|queries|memory]\n",
                         argv[0]);
            return false;
        }
    }
    return true;
}

std::string cpuModel() {
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    }
    return "unknown";
}

}  // namespace

int main(int argc, char **argv) {
    options opts;
    if (!parseOptions(argc, argv, &opts)) return 2;
    if (!enterPrivateNetwork()) {
        std::fprintf(stderr, "no private network namespace: the load benchmark needs one\n");
        return 77;
    }
    const programPaths paths{TAVRIN_SERVER_PATH, TAVRIN_BARE_RECEIVER_PATH, TAVRIN_BARE_ECHO_PATH};
    std::printf("## End-to-end load (%d CPUs, %s)\n", cpuCount(), cpuModel().c_str());
    std::fflush(stdout);
    if (opts.only.empty() || opts.only == "ingest") measureIngest(paths, opts.quick);
    if (opts.only.empty() || opts.only == "queries") measureQueries(paths, opts.quick);
    if (opts.only.empty() || opts.only == "memory") measureMemory(paths, opts.quick, opts.valgrind);
    return 0;
}
