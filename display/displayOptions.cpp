#include "displayOptions.h"

#include "common/cliArgs.h"

const char *const displayUsage =
    "Usage: navdisplay [OPTION]...\n"
    "Polls a navigation data server and serves a live display of the ship and the vehicle to a\n"
    "web browser: a plan view with both tracks, the vehicle's depth against time, every channel\n"
    "with its unit, and how old the data are. Open the address it prints.\n"
    "\n"
    "The server:\n"
    "  --host HOST            server address or name (default 127.0.0.1)\n"
    "  --port PORT            server query port (default 8080)\n"
    "  --interval SECONDS     time between polls, from 0.1 (default 1)\n"
    "  --timeout SECONDS      how long to wait for each reply (default 0.5)\n"
    "  --retries N            how many times to ask again when no reply comes, up to 100\n"
    "                         (default 1)\n"
    "\n"
    "The page:\n"
    "  --listen ADDRESS       address to serve the page on (default 127.0.0.1, this host\n"
    "                         only; 0.0.0.0 serves every network the host is on)\n"
    "  --http-port PORT       port to serve the page on (default 8088; 0 picks a free one)\n"
    "  --history SECONDS      how much history to keep for the tracks and the depth chart\n"
    "                         (default 3600, at most 86400)\n"
    "  --amber-after SECONDS  data age at which a badge turns amber (default 5)\n"
    "  --red-after SECONDS    data age at which a badge turns red (default 30)\n"
    "  --help                 show this help and exit\n"
    "\n"
    "The page takes the thresholds from the URL too: /?amber=10&red=60.\n"
    "\n"
    "Exit status:\n"
    "  0  stopped by Ctrl-C or SIGTERM\n"
    "  1  the page's address could not be bound\n"
    "  2  usage error (unknown option, bad value, unresolvable host)\n";

namespace {

bool readHttpPort(cli::argReader &args, displayOptions &o, std::string &why) {
    long long port = 0;
    if (!args.count(port, 0)) return false;
    if (port > 65535) {
        why = "--http-port needs a port from 0 to 65535, not '" + std::to_string(port) + "'";
        return false;
    }
    o.httpPort = static_cast<int>(port);
    return true;
}

bool readRetries(cli::argReader &args, displayOptions &o, std::string &why) {
    if (!args.count(o.retries, 0)) return false;
    if (o.retries > 100) {
        why =
            "--retries needs a whole number from 0 to 100, not '" + std::to_string(o.retries) + "'";
        return false;
    }
    return true;
}

bool readOption(cli::argReader &args, displayOptions &o, std::string &why) {
    std::string_view name = args.name();
    if (name == "--host") return args.text(o.host);
    if (name == "--port") return args.port(o.port);
    if (name == "--interval") return args.number(o.intervalSeconds, 0.1, true, 3600);
    if (name == "--timeout") return args.number(o.timeoutSeconds, 0, false, 3600);
    if (name == "--retries") return readRetries(args, o, why);
    if (name == "--listen") return args.text(o.listen);
    if (name == "--http-port") return readHttpPort(args, o, why);
    if (name == "--history") return args.number(o.historySeconds, 1, true, 86400);
    if (name == "--amber-after") return args.number(o.amberAfter, 0, false, 1e6);
    if (name == "--red-after") return args.number(o.redAfter, 0, false, 1e6);
    return args.unknown();
}

}  // namespace

displayParse parseDisplayOptions(int argc, char **argv, displayOptions &o, std::string &why) {
    cli::argReader args(argc, argv);
    while (args.next()) {
        if (args.name() == "--help") return displayParse::help;
        why.clear();
        if (!readOption(args, o, why)) {
            if (why.empty()) why = args.error();
            return displayParse::usageError;
        }
    }
    if (o.redAfter <= o.amberAfter) {
        why = "--red-after must be longer than --amber-after";
        return displayParse::usageError;
    }
    return displayParse::run;
}
