#include "replay/replayOptions.h"

#include <string_view>

#include "common/cliArgs.h"

const char *const replayUsage =
    "Usage: navreplay [OPTION]...\n"
    "Sends NMEA 0183 sentences, one a datagram, to a navigation data server: recorded ones from\n"
    "log files, or those of a simulated ship and of a vehicle diving beneath it.\n"
    "\n"
    "What to send (files, or --simulate):\n"
    "  --ship FILE           replay FILE to the ship port\n"
    "  --rov FILE            replay FILE to the vehicle port\n"
    "  --simulate            send a simulated ship's ZDA, GGA, VTG and HDT and the vehicle's\n"
    "                        GGA (its depth in the altitude field) for every simulated\n"
    "                        second; the simulated clock starts at the host clock\n"
    "\n"
    "Where to:\n"
    "  --host HOST           server address or name (default 127.0.0.1)\n"
    "  --ship-port PORT      (default 38002)\n"
    "  --rov-port PORT       (default 20289)\n"
    "\n"
    "Pace (one of these):\n"
    "  --recorded-pace       as recorded, from the lines' time stamps or else the sentences'\n"
    "                        own UTC times (the default for files)\n"
    "  --rate N              N sentences a second on each stream; with --simulate,\n"
    "                        N simulated seconds a second (default 1)\n"
    "  --fast                as fast as possible; the simulation then runs its seconds\n"
    "                        back to back\n"
    "\n"
    "When to stop (at the end of the files, if none of these):\n"
    "  --loop                start each file again at its end\n"
    "  --count N             stop after N sentences in all\n"
    "  --duration SECONDS    stop after SECONDS\n"
    "\n"
    "  --no-crlf             send sentences without the CR LF line end\n"
    "  --echo                print each sentence sent on standard output, after its stream's\n"
    "                        name (ship or rov) and a blank\n"
    "  --help                show this help and exit\n"
    "\n"
    "Simulation (with --simulate):\n"
    "  --lat DEGREES         start latitude, north positive (default 36.75)\n"
    "  --lon DEGREES         start longitude, east positive (default -122.05)\n"
    "  --course DEGREES      ship's course and heading, true (default 90)\n"
    "  --speed KNOTS         ship's speed (default 2)\n"
    "  --dive-depth METRES   depth at which the vehicle stops descending (default 1000)\n"
    "  --descent-rate M/S    vehicle's descent rate (default 0.5)\n"
    "\n"
    "In log files, lines starting with '#' and blank lines are skipped, and a leading time\n"
    "stamp such as '2014-08-01T00:00:00.814000Z ' is removed. A progress line is shown on\n"
    "standard error once a second when it is a terminal, and a summary line at the end.\n"
    "Ctrl-C stops at once and prints the summary.\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  a file could not be read, or no socket could be made\n"
    "  2  usage error (unknown option, bad value, unresolvable host)\n";

namespace {

struct optionState {
    int paces = 0;  // how many pace options were given
    bool recordedGiven = false;
    std::string simOption;  // a simulation option given, for the complaint
};

bool readSimulationOption(cli::argReader &args, replayOptions &o, optionState &st, bool &known) {
    std::string_view name = args.name();
    sim::simulationParams &p = o.sim;
    bool ok = false;
    known = true;
    if (name == "--lat") {
        ok = args.number(p.startLat, -89, true, 89);
    } else if (name == "--lon") {
        ok = args.number(p.startLon, -180, true, 180);
    } else if (name == "--course") {
        ok = args.number(p.course, 0, true, 359.99);
    } else if (name == "--speed") {
        ok = args.number(p.speed, 0, true, 100);
    } else if (name == "--dive-depth") {
        ok = args.number(p.diveDepth, 0, true, 12000);
    } else if (name == "--descent-rate") {
        ok = args.number(p.descentRate, 0, false, 100);
    } else {
        known = false;
        return false;
    }
    st.simOption = name;
    return ok;
}

bool readPaceOption(cli::argReader &args, replayOptions &o, optionState &st, bool &known) {
    std::string_view name = args.name();
    bool ok = false;
    known = true;
    if (name == "--recorded-pace") {
        o.pace = paceMode::recorded;
        ok = args.flag();
    } else if (name == "--rate") {
        o.pace = paceMode::rate;
        ok = args.number(o.rate, 0.001, true);
    } else if (name == "--fast") {
        o.pace = paceMode::fast;
        ok = args.flag();
    } else {
        known = false;
        return false;
    }
    ++st.paces;
    st.recordedGiven = st.recordedGiven || o.pace == paceMode::recorded;
    return ok;
}

bool readOption(cli::argReader &args, replayOptions &o, optionState &st) {
    bool known = false;
    bool ok = readPaceOption(args, o, st, known);
    if (known) return ok;
    ok = readSimulationOption(args, o, st, known);
    if (known) return ok;

    std::string_view name = args.name();
    if (name == "--ship") return args.text(o.shipFile);
    if (name == "--rov") return args.text(o.rovFile);
    if (name == "--simulate") return args.flag() && (o.simulate = true);
    if (name == "--host") return args.text(o.host);
    if (name == "--ship-port") return args.port(o.shipPort);
    if (name == "--rov-port") return args.port(o.rovPort);
    if (name == "--loop") return args.flag() && (o.loop = true);
    if (name == "--count") return args.count(o.count);
    if (name == "--duration") return args.number(o.duration, 0, false, 1e8);
    if (name == "--no-crlf") return args.flag() && !(o.crlf = false);
    if (name == "--echo") return args.flag() && (o.echo = true);
    return args.unknown();
}

// Combinations that would be silently ignored are refused instead.
bool checkCombination(const replayOptions &o, const optionState &st, std::string &why) {
    bool files = !o.shipFile.empty() || !o.rovFile.empty();
    if (!files && !o.simulate) {
        why = "nothing to send: give --ship FILE, --rov FILE or --simulate";
    } else if (files && o.simulate) {
        why = "--simulate sends no files: give either files or --simulate";
    } else if (st.paces > 1) {
        why = "give one pace: --recorded-pace, --rate or --fast";
    } else if (o.simulate && st.recordedGiven) {
        why = "--recorded-pace replays files; the simulation has no recording";
    } else if (o.simulate && o.loop) {
        why = "--loop replays files; the simulation runs until stopped";
    } else if (!o.simulate && !st.simOption.empty()) {
        why = st.simOption + " sets up the simulation: use it with --simulate";
    } else {
        return true;
    }
    return false;
}

}  // namespace

replayParse parseReplayOptions(int argc, char **argv, replayOptions &o, std::string &why) {
    cli::argReader args(argc, argv);
    optionState st;
    while (args.next()) {
        if (args.name() == "--help") return replayParse::help;
        if (!readOption(args, o, st)) {
            why = args.error();
            return replayParse::usageError;
        }
    }
    return checkCombination(o, st, why) ? replayParse::run : replayParse::usageError;
}
