#include "query/queryOptions.h"

#include <vector>

#include "common/cliArgs.h"

const char *const queryUsage =
    "Usage: navquery [OPTION]...\n"
    "Asks a navigation data server for its channel names and current values, and prints them.\n"
    "\n"
    "  --host HOST          server address or name (default 127.0.0.1)\n"
    "  --port PORT          server query port (default 8080)\n"
    "  --timeout SECONDS    how long to wait for each reply (default 1)\n"
    "  --retries N          how many times to ask again when no reply comes (default 2)\n"
    "  --format FORMAT      table, csv or json (default: table on a terminal, csv otherwise)\n"
    "  --channels LIST      only these channels, comma-separated names as in the header\n"
    "  --list-channels      print the channel names, one a line, and exit\n"
    "  --ages               add the data ages as CSV columns or JSON keys named\n"
    "                       SHIP.GPS.TIME.AGE and ROV.POSITION.LAT.UTC.AGE (the table\n"
    "                       always shows them)\n"
    "  --max-age SECONDS    exit with status 5 when a data age exceeds SECONDS\n"
    "  --watch              ask again every interval until interrupted (Ctrl-C)\n"
    "  --interval SECONDS   time between records in watch mode (default 1)\n"
    "  --count N            stop after N records (implies --watch)\n"
    "  --help               show this help and exit\n"
    "\n"
    "Data ages, in seconds, come from the record's own fields: the ship's is\n"
    "LOGHOST.SYSTEM.UTC minus SHIP.GPS.TIME (its last date-and-time sentence), the vehicle's\n"
    "LOGHOST.SYSTEM.UTC minus ROV.POSITION.LAT.UTC (its last fix). A time of 0 means nothing\n"
    "has been received yet: the age is then unknown, empty in CSV, null in JSON, and stale\n"
    "for --max-age.\n"
    "\n"
    "JSON: numbers as numbers; NO_ITEM, inf and nan as null; the timestamp text and the time\n"
    "zone as strings.\n"
    "\n"
    "In watch mode a poll that fails is reported on standard error and watching goes on;\n"
    "the exit status is then that of the first failure.\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  other failure (no socket, output could not be written)\n"
    "  2  usage error (unknown option, bad value, unknown channel, unresolvable host)\n"
    "  3  no reply in time\n"
    "  4  malformed reply\n"
    "  5  stale data (a data age above --max-age, or unknown)\n";

namespace {

bool readFormat(cli::argReader &args, queryOptions &o, std::string &why) {
    std::string name;
    if (!args.text(name)) return false;
    if (name == "table") {
        o.format = navproto::outputFormat::table;
    } else if (name == "csv") {
        o.format = navproto::outputFormat::csv;
    } else if (name == "json") {
        o.format = navproto::outputFormat::json;
    } else {
        why = "--format needs table, csv or json, not '" + name + "'";
        return false;
    }
    return true;
}

bool readMaxAge(cli::argReader &args, queryOptions &o) {
    double seconds = 0;
    if (!args.number(seconds, 0, true)) return false;
    o.maxAge = seconds;
    return true;
}

// Unknown names are a usage error, found before anything is sent.
bool checkChannels(const queryOptions &o, std::string &why) {
    if (o.channels.empty()) return true;
    const auto &known = navproto::knownChannels();
    std::vector<std::string_view> names(known.begin(), known.end());
    std::vector<std::size_t> positions;
    return navproto::selectChannels(o.channels, names, positions, why);
}

bool readOption(cli::argReader &args, queryOptions &o, std::string &why) {
    std::string_view name = args.name();
    if (name == "--host") return args.text(o.host);
    if (name == "--port") return args.port(o.port);
    if (name == "--timeout") return args.number(o.timeoutSeconds, 0, false, 3600);
    if (name == "--retries") return args.count(o.retries, 0, 100);
    if (name == "--format") return readFormat(args, o, why);
    if (name == "--channels") return args.text(o.channels);
    if (name == "--list-channels") return args.flag() && (o.listChannels = true);
    if (name == "--ages") return args.flag() && (o.ages = true);
    if (name == "--max-age") return readMaxAge(args, o);
    if (name == "--watch") return args.flag() && (o.watch = true);
    if (name == "--interval") return args.number(o.intervalSeconds, 0, false, 1e6);
    if (name == "--count") return args.count(o.count) && (o.watch = true);
    return args.unknown();
}

}  // namespace

parseOutcome parseQueryOptions(int argc, char **argv, queryOptions &o, std::string &why) {
    cli::argReader args(argc, argv);
    while (args.next()) {
        if (args.name() == "--help") return parseOutcome::help;
        why.clear();
        if (!readOption(args, o, why)) {
            if (why.empty()) why = args.error();
            return parseOutcome::usageError;
        }
    }
    if (!checkChannels(o, why)) return parseOutcome::usageError;
    return parseOutcome::run;
}
