// Each ship sentence and the vehicle sentence through the project's decoder and through the
// literal strtok/sscanf/atoi/atof/mktime version.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "literalBaseline.h"
#include "microBench.h"
#include "server/loop.h"

namespace {

using shipDecoder = void (*)(char *, shipData *, clockFn, std::FILE *);
using vehicleDecoder = void (*)(char *, rovData *, clockFn);

// The server's receive buffer: a full datagram plus the zero byte that ends it.
constexpr std::size_t bufferSize = datagramSize + 1;

struct sentenceCase {
    const char *name;
    std::string_view text;
    double target;
    const char *timeZone = nullptr;  // TZ for the run; null leaves the environment as it is
};

// Captured from a ship's GPS and gyro (tests/data/ship-seapath.nmea).
const sentenceCase shipCases[] = {
    {"shipGGA", "$GPGGA,000000.70,2200.112071,S,01756.360200,W,1,10,0.9,1.04,M,,M,,*41", 0.2},
    {"shipZDA", "$GPZDA,000000.70,01,08,2014,,*6F", 0.1},
    // With TZ unset, as a server usually runs, every mktime looks at /etc/localtime again; a
    // set TZ spares it that, which is the literal decoder's best case.
    {"shipZDA_TZ=UTC", "$GPZDA,000000.70,01,08,2014,,*6F", 0.1, "UTC"},
    {"shipVTG", "$GPVTG,213.66,T,,M,9.4,N,,K,A*1E", 0.5},
    {"shipHDT", "$GPHDT,218.83,T*05", 0.5},
};

// A vehicle fix with the depth in the altitude field.
const sentenceCase vehicleCase = {
    "vehicleGGA", "$GPGGA,123456.00,3636.1234,N,12152.1234,W,1,08,0.9,-250.3,M,-32.1,M,,*5C", 0.2};

// The decoders split the text in place, so every call gets the sentence afresh.
void copySentence(char (&buf)[bufferSize], std::string_view sentence) {
    std::memcpy(buf, sentence.data(), sentence.size());
    buf[sentence.size()] = '\0';
}

// Sets TZ for as long as it lives, then puts back what was there.
class timeZoneScope {
  public:
    explicit timeZoneScope(const char *zone) {
        if (zone == nullptr) return;
        const char *old = std::getenv("TZ");
        hadZone_ = old != nullptr;
        if (hadZone_) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
        active_ = true;
    }
    ~timeZoneScope() {
        if (!active_) return;
        if (hadZone_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    timeZoneScope(const timeZoneScope &) = delete;
    timeZoneScope &operator=(const timeZoneScope &) = delete;

  private:
    bool active_ = false;
    bool hadZone_ = false;
    std::string old_;
};

void benchShip(benchmark::State &state, shipDecoder decode, const sentenceCase *c) {
    timeZoneScope zone(c->timeZone);
    std::string_view sentence = c->text;
    shipData ship{};
    char buf[bufferSize];
    auto once = [&] {
        copySentence(buf, sentence);
        decode(buf, &ship, hostClock, benchConsole());
    };
    state.counters[allocationsCounter] = allocationsPerCall(once);
    for (auto _ : state) {
        once();
        benchmark::DoNotOptimize(ship);
        benchmark::ClobberMemory();
    }
}

void benchVehicle(benchmark::State &state, vehicleDecoder decode, std::string_view sentence) {
    rovData rov{};
    char buf[bufferSize];
    auto once = [&] {
        copySentence(buf, sentence);
        decode(buf, &rov, hostClock);
    };
    state.counters[allocationsCounter] = allocationsPerCall(once);
    for (auto _ : state) {
        once();
        benchmark::DoNotOptimize(rov);
        benchmark::ClobberMemory();
    }
}

// The floor under every decode benchmark: the copy alone.
void benchCopyOnly(benchmark::State &state) {
    char buf[bufferSize];
    auto once = [&] {
        copySentence(buf, shipCases[0].text);
        benchmark::DoNotOptimize(buf);
    };
    state.counters[allocationsCounter] = allocationsPerCall(once);
    for (auto _ : state) {
        once();
        benchmark::ClobberMemory();
    }
}

// The floor under both ZDA rows: the console line alone, written to the same stream.
void benchConsoleLine(benchmark::State &state) {
    constexpr std::string_view line = "zda:1406851200 system:1765432100\n";
    auto once = [&] { std::fwrite(line.data(), 1, line.size(), benchConsole()); };
    state.counters[allocationsCounter] = allocationsPerCall(once);
    for (auto _ : state) {
        once();
        benchmark::ClobberMemory();
    }
}

// Disagreements between the two sides, one line each on stderr.
struct fieldChecker {
    const char *sentence;
    int mismatches = 0;

    template <typename T>
    void same(const char *field, T project, T baseline) {
        bool equal = project == baseline || (std::isnan(static_cast<double>(project)) &&
                                             std::isnan(static_cast<double>(baseline)));
        if (equal) return;
        ++mismatches;
        std::fprintf(stderr, "baseline disagrees on %s in %s: project %.17g, baseline %.17g\n",
                     field, sentence, static_cast<double>(project), static_cast<double>(baseline));
    }
};

// 2024-06-01 12:00:05 UTC: the vehicle fix of the benchmark falls on the same day either way.
std::int64_t checkClock() {
    return 1717243205;
}

int compareShip(const sentenceCase &c) {
    timeZoneScope zone(c.timeZone);
    shipData project{}, baseline{};
    char buf[bufferSize];
    copySentence(buf, c.text);
    parseShipNMEA(buf, &project, checkClock, benchConsole());
    copySentence(buf, c.text);
    literalParseShipNMEA(buf, &baseline, checkClock, benchConsole());
    fieldChecker check{c.name};
    check.same("zdaSec", project.zdaSec, baseline.zdaSec);
    check.same("zdaDay", project.zdaDay, baseline.zdaDay);
    check.same("zdaMonth", project.zdaMonth, baseline.zdaMonth);
    check.same("zdaYear", project.zdaYear, baseline.zdaYear);
    check.same("zdaHour", project.zdaHour, baseline.zdaHour);
    check.same("zdaMin", project.zdaMin, baseline.zdaMin);
    check.same("zdaTime", project.zdaTime, baseline.zdaTime);
    check.same("ggaHour", project.ggaHour, baseline.ggaHour);
    check.same("ggaMin", project.ggaMin, baseline.ggaMin);
    check.same("ggaSec", project.ggaSec, baseline.ggaSec);
    check.same("lat", project.lat, baseline.lat);
    check.same("lon", project.lon, baseline.lon);
    check.same("numSats", project.numSats, baseline.numSats);
    check.same("qual", project.qual, baseline.qual);
    check.same("alt", project.alt, baseline.alt);
    check.same("aunits", project.aunits, baseline.aunits);
    check.same("hdop", project.hdop, baseline.hdop);
    check.same("cog", project.cog, baseline.cog);
    check.same("sog", project.sog, baseline.sog);
    check.same("heading", project.heading, baseline.heading);
    return check.mismatches;
}

int compareVehicle(const sentenceCase &c) {
    rovData project{}, baseline{};
    char buf[bufferSize];
    copySentence(buf, c.text);
    parseROVData(buf, &project, checkClock);
    copySentence(buf, c.text);
    literalParseROVData(buf, &baseline, checkClock);
    fieldChecker check{c.name};
    check.same("hour", project.hour, baseline.hour);
    check.same("min", project.min, baseline.min);
    check.same("sec", project.sec, baseline.sec);
    // The literal fix time is held in single precision; the project keeps every second.
    check.same("fixTime", static_cast<float>(project.fixTime),
               static_cast<float>(baseline.fixTime));
    check.same("lat", project.lat, baseline.lat);
    check.same("lon", project.lon, baseline.lon);
    check.same("depth", project.depth, baseline.depth);
    return check.mismatches;
}

}  // namespace

std::FILE *benchConsole() {
    static std::FILE *console = std::fopen("/dev/null", "w");
    return console;
}

void registerDecodeBenchmarks(std::vector<comparison> &comparisons) {
    for (const sentenceCase &c : shipCases) {
        std::string name = c.name;
        benchmark::RegisterBenchmark((name + "/project").c_str(), benchShip, parseShipNMEA, &c)
            ->Apply(measureInNanoseconds);
        benchmark::RegisterBenchmark((name + "/baseline").c_str(), benchShip, literalParseShipNMEA,
                                     &c)
            ->Apply(measureInNanoseconds);
        comparisons.push_back({name, c.target});
    }
    std::string name = vehicleCase.name;
    benchmark::RegisterBenchmark((name + "/project").c_str(), benchVehicle, parseROVData,
                                 vehicleCase.text)
        ->Apply(measureInNanoseconds);
    benchmark::RegisterBenchmark((name + "/baseline").c_str(), benchVehicle, literalParseROVData,
                                 vehicleCase.text)
        ->Apply(measureInNanoseconds);
    comparisons.push_back({name, vehicleCase.target});
    benchmark::RegisterBenchmark("copyOnly", benchCopyOnly)->Apply(measureInNanoseconds);
    benchmark::RegisterBenchmark("zdaConsoleLine", benchConsoleLine)->Apply(measureInNanoseconds);
}

int checkDecodersAgree() {
    int mismatches = 0;
    for (const sentenceCase &c : shipCases) mismatches += compareShip(c);
    mismatches += compareVehicle(vehicleCase);
    return mismatches;
}
