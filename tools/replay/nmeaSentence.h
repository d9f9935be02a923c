// NMEA 0183 sentences as the simulated instruments send them: the checksum and builders for the
// ship's "$GPZDA", "$GPGGA", "$GPVTG" and "$GPHDT" and the vehicle's "$GPGGA" with its depth in
// the altitude field. Each builder writes a whole sentence, checksum included and line end
// excluded, into a caller's buffer and returns its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nmea {

// Longer than any sentence built here (the standard's limit is 82 with the line end).
inline constexpr std::size_t sentenceCapacity = 128;
using sentenceBuffer = char[sentenceCapacity];

// XOR of the characters between '$' and '*' (or the end, when there is no '*').
std::uint8_t checksum(std::string_view sentence);
// Whether the sentence ends in "*HH" and HH is its checksum, in either letter case.
bool checksumValid(std::string_view sentence);

// A UTC moment, broken down for the sentences' time and date fields.
struct utcMoment {
    int year;
    int month;  // 1 to 12
    int day;
    int hour;
    int minute;
    double second;  // with fraction, below 60
};
utcMoment breakDownUtc(double secondsSinceEpoch);

// $GPZDA,hhmmss.ss,dd,mm,yyyy,00,00*hh
std::size_t buildZda(sentenceBuffer &out, const utcMoment &t);
// $GPGGA,hhmmss.ss,ddmm.mmmmmm,N,dddmm.mmmmmm,E,1,10,0.9,15.0,M,0.0,M,,*hh
std::size_t buildShipGga(sentenceBuffer &out, const utcMoment &t, double lat, double lon);
// $GPVTG,ccc.cc,T,,M,s.ss,N,k.kk,K,A*hh: the magnetic course left empty, as a gyro-aided
// receiver sends it, so the speed in knots is the fourth field.
std::size_t buildVtg(sentenceBuffer &out, double courseTrue, double knots);
// $GPHDT,hhh.hh,T*hh
std::size_t buildHdt(sentenceBuffer &out, double heading);
// $GPGGA,hhmmss.ss,ddmm.mmmmmm,N,dddmm.mmmmmm,E,1,08,1.0,ddd.dd,M,,M,,*hh: the vehicle's
// navigation puts its depth, metres below the surface, where a receiver puts its altitude.
std::size_t buildVehicleGga(sentenceBuffer &out, const utcMoment &t, double lat, double lon,
                            double depth);

}  // namespace nmea
