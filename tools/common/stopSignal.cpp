#include "common/stopSignal.h"

namespace cli {

namespace {

volatile std::sig_atomic_t stop = 0;

void raiseStop(int) {
    stop = 1;
}

}  // namespace

void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = raiseStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool stopRequested() {
    return stop != 0;
}

const volatile std::sig_atomic_t *stopFlag() {
    return &stop;
}

}  // namespace cli
