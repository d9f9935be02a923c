// navdisplay: polls the navigation data server and serves a live display of the ship and the
// vehicle to a web browser, from the page compiled into it and the JSON it builds from each poll.
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <httplib.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <thread>

#include "common/stopSignal.h"
#include "common/udpAddress.h"
#include "displayOptions.h"
#include "displayState.h"
#include "httpRoutes.h"
#include "poller.h"

namespace {

enum exitStatus : int { exitOk = 0, exitFailure = 1, exitUsage = 2 };

// Binds the page's address; the port actually bound, or -1. The library would share the port
// with any other program that asks (SO_REUSEPORT), so that a second navdisplay started by mistake
// would take half the browsers' requests; only a quick restart's reuse of the address is kept.
int bindPage(httplib::Server &http, const displayOptions &options) {
    http.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    if (options.httpPort == 0) return http.bind_to_any_port(options.listen);
    return http.bind_to_port(options.listen, options.httpPort) ? options.httpPort : -1;
}

// The web threads leave Ctrl-C and SIGTERM to the poller's thread, whose waits they then cut
// short; the threads inherit the mask in force when they are started.
std::thread startServing(httplib::Server &http) {
    sigset_t stops, previous;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, &previous);
    std::thread web([&http] { http.listen_after_bind(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return web;
}

// A stop before the web loop has begun would be lost and leave it running, so the loop is
// let begin first. It begins at once; the bound only keeps a broken start from hanging here.
void waitUntilServing(const httplib::Server &http) {
    for (int i = 0; i < 5000 && !http.is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::size_t historyCapacity(const displayOptions &options) {
    return static_cast<std::size_t>(std::ceil(options.historySeconds / options.intervalSeconds));
}

std::chrono::milliseconds toMilliseconds(double seconds) {
    return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
}

}  // namespace

int main(int argc, char **argv) {
    displayOptions options;
    std::string why;
    switch (parseDisplayOptions(argc, argv, options, why)) {
        case displayParse::help:
            std::fputs(displayUsage, stdout);
            return exitOk;
        case displayParse::usageError:
            std::fprintf(stderr, "navdisplay: %s\nTry 'navdisplay --help'.\n", why.c_str());
            return exitUsage;
        case displayParse::run:
            break;
    }
    display::pollSettings settings{{},
                                   toMilliseconds(options.intervalSeconds),
                                   toMilliseconds(options.timeoutSeconds),
                                   static_cast<int>(options.retries)};
    if (!cli::resolveIPv4(options.host, options.port, settings.server, why)) {
        std::fprintf(stderr, "navdisplay: %s\n", why.c_str());
        return exitUsage;
    }
    std::string server = options.host + ":" + std::to_string(options.port);

    display::displayState state(historyCapacity(options));
    httplib::Server http;
    display::addRoutes(http, state, options, server);
    int port = bindPage(http, options);
    if (port < 0) {
        std::fprintf(stderr,
                     "navdisplay: cannot serve the page on %s port %d (is the port taken, or the "
                     "address not this host's?)\n",
                     options.listen.c_str(), options.httpPort);
        return exitFailure;
    }
    cli::installStopHandlers();
    std::thread web = startServing(http);
    waitUntilServing(http);
    std::printf("navdisplay: showing %s on http://%s:%d/\n", server.c_str(), options.listen.c_str(),
                port);
    std::fflush(stdout);

    display::pollServer(settings, state, cli::stopFlag());

    http.stop();
    web.join();
    return exitOk;
}
