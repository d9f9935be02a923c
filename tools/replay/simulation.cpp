#include "replay/simulation.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double degreesToRadians = pi / 180;

double wrapLongitude(double lon) {
    lon = std::fmod(lon + 180, 360);
    if (lon < 0) lon += 360;
    return lon - 180;
}

}  // namespace

simulatedState simulateAt(const simulationParams &p, double elapsed) {
    double distance = p.speed * elapsed / 3600;  // nautical miles
    double course = p.course * degreesToRadians;
    // Held short of the poles, where the track would lose its meaning.
    double lat = std::clamp(p.startLat + distance * std::cos(course) / 60, -89.99, 89.99);
    double midLat = (p.startLat + lat) / 2 * degreesToRadians;
    double lon = p.startLon + distance * std::sin(course) / (60 * std::cos(midLat));
    double depth = std::min(p.diveDepth, p.descentRate * elapsed);
    return {lat, wrapLongitude(lon), depth};
}

void buildSecond(const simulationParams &p, double elapsed, double utcSeconds,
                 simulatedSecond &out) {
    simulatedState s = simulateAt(p, elapsed);
    nmea::utcMoment t = nmea::breakDownUtc(utcSeconds);
    out.length[0] = nmea::buildZda(out.text[0], t);
    out.length[1] = nmea::buildShipGga(out.text[1], t, s.lat, s.lon);
    out.length[2] = nmea::buildVtg(out.text[2], p.course, p.speed);
    out.length[3] = nmea::buildHdt(out.text[3], p.course);
    out.length[4] = nmea::buildVehicleGga(out.text[4], t, s.lat, s.lon, s.depth);
}

}  // namespace sim
