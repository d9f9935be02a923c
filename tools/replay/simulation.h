// A ship steaming on a steady course and speed, and its vehicle diving straight beneath it to a
// chosen depth and holding there. Everything follows from the parameters and the time since the
// start, so a simulated moment can be computed, and tested, on its own.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "replay/nmeaSentence.h"

namespace sim {

struct simulationParams {
    double startLat = 36.75;    // degrees, north positive
    double startLon = -122.05;  // degrees, east positive
    double course = 90;         // degrees true
    double speed = 2;           // knots
    double diveDepth = 1000;    // metres
    double descentRate = 0.5;   // metres a second
};

struct simulatedState {
    double lat;
    double lon;
    double depth;  // metres below the surface
};

// Where ship and vehicle are `elapsed` seconds after the start. The track is a rhumb line worked
// by mid-latitude sailing, one minute of latitude to the nautical mile; longitude is kept
// within -180 to 180 degrees.
simulatedState simulateAt(const simulationParams &p, double elapsed);

enum class stream { ship, vehicle };

// The five sentences of one simulated second, in the order they are sent: the ship's ZDA, GGA,
// VTG and HDT, then the vehicle's GGA.
struct simulatedSecond {
    static constexpr std::size_t size = 5;
    std::array<nmea::sentenceBuffer, size> text;
    std::array<std::size_t, size> length;
    static constexpr std::array<stream, size> streams = {stream::ship, stream::ship, stream::ship,
                                                         stream::ship, stream::vehicle};
    std::string_view sentence(std::size_t i) const { return {text[i], length[i]}; }
};

// Builds the sentences for the moment `elapsed` seconds after the start, whose UTC time is
// `utcSeconds` (seconds since the epoch).
void buildSecond(const simulationParams &p, double elapsed, double utcSeconds,
                 simulatedSecond &out);

}  // namespace sim
