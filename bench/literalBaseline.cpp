// Straight-line C: each position is one strtok call and one library reading, as a programmer
// would write it from the field rules without thinking about speed. Where the rules leave a
// choice open (a coordinate field without both numbers), these do what the project's decoders
// do, so that both sides do the same work.
#include "literalBaseline.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

char *nextToken() {
    return std::strtok(nullptr, ",");
}

// "%2d%lf" or "%3d%lf"; stores only when both numbers were read.
bool scanCoordinate(const char *token, const char *format, double *coordinate) {
    int degrees = 0;
    double minutes = 0.0;
    if (std::sscanf(token, format, &degrees, &minutes) != 2) return false;
    *coordinate = degrees + minutes / 60.0;
    return true;
}

void literalZda(shipData *s, clockFn clock, std::FILE *console) {
    char *token;
    if ((token = nextToken())) std::sscanf(token, "%2d%2d%f", &s->zdaHour, &s->zdaMin, &s->zdaSec);
    if ((token = nextToken())) s->zdaDay = std::atoi(token);
    if ((token = nextToken())) s->zdaMonth = std::atoi(token);
    if ((token = nextToken())) s->zdaYear = std::atoi(token);
    std::tm t{};
    t.tm_year = s->zdaYear - 1900;
    t.tm_mon = s->zdaMonth - 1;
    t.tm_mday = s->zdaDay;
    t.tm_hour = s->zdaHour;
    t.tm_min = s->zdaMin;
    t.tm_sec = static_cast<int>(s->zdaSec);
    t.tm_isdst = 0;
    s->zdaTime = std::mktime(&t);
    std::fprintf(console, "zda:%lld system:%lld\n", static_cast<long long>(s->zdaTime),
                 static_cast<long long>(clock()));
}

void literalGga(shipData *s) {
    char *token;
    if ((token = nextToken())) {
        int sec = 0;
        if (std::sscanf(token, "%2d%2d%2d", &s->ggaHour, &s->ggaMin, &sec) == 3) {
            s->ggaSec = static_cast<float>(sec);
        }
    }
    bool latSet = false, lonSet = false;
    if ((token = nextToken())) latSet = scanCoordinate(token, "%2d%lf", &s->lat);
    if ((token = nextToken()) && latSet && token[0] == 'S') s->lat = -s->lat;
    if ((token = nextToken())) lonSet = scanCoordinate(token, "%3d%lf", &s->lon);
    if ((token = nextToken()) && lonSet && token[0] == 'W') s->lon = -s->lon;
    if ((token = nextToken())) s->qual = std::atoi(token);
    if ((token = nextToken())) s->numSats = std::atoi(token);
    if ((token = nextToken())) s->hdop = std::atof(token);
    if ((token = nextToken())) s->alt = static_cast<float>(std::atof(token));
    if ((token = nextToken())) s->aunits = token[0];
}

void literalVtg(shipData *s) {
    char *token;
    if ((token = nextToken())) s->cog = static_cast<float>(std::atof(token));
    nextToken();
    nextToken();
    if ((token = nextToken())) s->sog = static_cast<float>(std::atof(token));
}

void literalHdt(shipData *s) {
    if (char *token = nextToken()) s->heading = std::atof(token);
}

}  // namespace

void literalParseShipNMEA(char *buf, shipData *s, clockFn clock, std::FILE *console) {
    char *id = std::strtok(buf, ",");
    if (id == nullptr) return;
    if (std::strncmp(id, "$GPZDA", 6) == 0) {
        literalZda(s, clock, console);
    } else if (std::strncmp(id, "$GPGGA", 6) == 0) {
        literalGga(s);
    } else if (std::strncmp(id, "$GPVTG", 6) == 0) {
        literalVtg(s);
    } else if (std::strncmp(id, "$GPHDT", 6) == 0) {
        literalHdt(s);
    }
}

void literalParseROVData(char *buf, rovData *r, clockFn clock) {
    char *token = std::strtok(buf, ",");
    if (token == nullptr || std::strncmp(token, "$GPGGA", 6) != 0) return;
    if ((token = nextToken())) {
        std::sscanf(token, "%2d%2d%2d", &r->hour, &r->min, &r->sec);
        std::time_t now = clock();
        std::time_t dayStart = now - now % 86400;
        r->fixTime = static_cast<float>(dayStart + r->hour * 3600 + r->min * 60 + r->sec);
    }
    bool latSet = false, lonSet = false;
    if ((token = nextToken())) latSet = scanCoordinate(token, "%2d%lf", &r->lat);
    if ((token = nextToken()) && latSet && token[0] == 'S') r->lat = -r->lat;
    if ((token = nextToken())) lonSet = scanCoordinate(token, "%3d%lf", &r->lon);
    if ((token = nextToken()) && lonSet && token[0] == 'W') r->lon = -r->lon;
    nextToken();
    nextToken();
    nextToken();
    if ((token = nextToken())) r->depth = std::atof(token);
}

namespace {

// Appends at *ptr and moves it to the new end of the text; never past end.
struct literalWriter {
    char *ptr;
    char *end;

    void advance(int written) {
        if (written < 0) return;
        auto room = static_cast<std::size_t>(end - ptr);
        ptr += static_cast<std::size_t>(written) < room ? written : room - 1;
    }
    void integer(long long value) { advance(std::snprintf(ptr, end - ptr, "%lld,", value)); }
    void real(double value) { advance(std::snprintf(ptr, end - ptr, "%f,", value)); }
    void noItem() { advance(std::snprintf(ptr, end - ptr, "NO_ITEM,")); }
    void timestamp(const char *timestr) {
        advance(std::snprintf(ptr, end - ptr, "%s,+0", timestr));
    }
};

}  // namespace

std::size_t literalBuildStatusRecord(const shipData &ship, const rovData &rov, clockFn clock,
                                     char (&dataString)[literalRecordSize]) {
    std::memset(dataString, 0, sizeof dataString);
    literalWriter w{dataString, dataString + sizeof dataString};
    w.integer(clock());
    w.integer(ship.zdaTime);
    w.noItem();
    w.noItem();
    w.real(ship.lat);
    w.real(ship.lon);
    w.integer(ship.qual);
    w.real(ship.sog);
    w.real(ship.hdop);
    w.integer(ship.zdaTime);
    w.real(ship.heading);
    w.noItem();
    w.noItem();
    w.noItem();
    w.real(rov.fixTime);
    w.real(rov.lat);
    w.real(rov.lon);
    w.real(rov.depth);
    w.noItem();
    w.noItem();
    w.noItem();
    w.noItem();
    std::time_t now_t = clock();
    std::tm now{};
    gmtime_r(&now_t, &now);
    char timestr[26];
    asctime_r(&now, timestr);
    timestr[24] = '\0';  // asctime ends its text with a newline
    w.integer(now.tm_year + 1900);
    w.integer(now.tm_yday);
    w.timestamp(timestr);
    return static_cast<std::size_t>(w.ptr - dataString);
}
