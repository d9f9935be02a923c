// The navigation state of the ship and of its vehicle, and the two decoders that keep it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>

// Whole seconds since 1970-01-01 00:00:00 UTC. Passed in wherever the host clock is read,
// so that tests can fix it.
using clockFn = std::int64_t (*)();

// Latest values decoded from the ship's sentences. Plain numbers, zeroed once at start-up and
// overwritten field by field; fields of different sentences have different ages.
struct shipData {
    float zdaSec;  // seconds of the minute, fraction kept
    int zdaDay;
    int zdaMonth;  // 1 for January
    int zdaYear;
    int zdaHour;
    int zdaMin;
    std::int64_t zdaTime;  // the date and time above as seconds since the epoch (UTC)
    int ggaHour;
    int ggaMin;
    float ggaSec;  // whole seconds of the fix
    double lat;    // degrees, north positive
    double lon;    // degrees, east positive
    int numSats;
    int qual;     // fix quality indicator, as sent
    float alt;    // antenna altitude, in the unit aunits names
    char aunits;  // first character of the altitude unit field
    double hdop;
    float cog;       // course over ground, degrees true
    float sog;       // speed over ground, knots
    double heading;  // true heading, degrees
};

// Latest values decoded from the vehicle's position sentences.
struct rovData {
    int hour;  // time of the fix, taken as UTC
    int min;
    int sec;
    // Time of the fix as whole seconds since the epoch, placed on the UTC day nearest the host
    // clock. A double holds every such count exactly, so no fix is shifted by rounding.
    double fixTime;
    double lat;    // degrees, north positive
    double lon;    // degrees, east positive
    double depth;  // as the vehicle sends it in the altitude field: sign and unit as sent
};

// Decodes one ship sentence ("$GPZDA", "$GPGGA", "$GPVTG" or "$GPHDT") from the zero-terminated
// text buf into *s; anything else is ignored. Each "$GPZDA" writes "zda:<time> system:<clock>\n"
// to console (not flushed).
void parseShipNMEA(char *buf, shipData *s, clockFn clock, std::FILE *console);

// Decodes one vehicle "$GPGGA" sentence from the zero-terminated text buf into *r; the depth
// travels in the altitude field. Anything else is ignored.
void parseROVData(char *buf, rovData *r, clockFn clock);
