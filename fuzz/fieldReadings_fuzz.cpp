// Differential: every field reading against the C library routine it stands in for, on a
// terminated copy, as a reader of the format would call it. The readings differ from the C
// library on purpose in a few decided cases, and there the decided reading is checked instead:
//   - reals are decimal only: a hexadecimal spelling reads its leading 0 (so -0x1p3 is -0.0),
//     and "inf", "infinity" and "nan" are no number at all (so "-inf" reads +0.0 as a real and
//     stores nothing inside a time or a coordinate);
//   - integers beyond 32 bits saturate, as strtol clamps, where atoi would be undefined.
// The input is the text of a sentence; each field that strtok finds is read as well as the
// whole text.
#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzzSupport.h"
#include "sentences/fields.h"

namespace {

using fuzz::escaped;

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

enum class realSpelling { decimal, hexadecimal, notANumber };

// How a real conversion starting at text sees what is there: a decimal spelling (or none at
// all), a hexadecimal one, or an inf or nan word.
realSpelling classify(const char *text) {
    while (isCSpace(*text)) ++text;
    if (*text == '+' || *text == '-') ++text;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return realSpelling::hexadecimal;
    if (*text == 'i' || *text == 'I' || *text == 'n' || *text == 'N') {
        return realSpelling::notANumber;
    }
    return realSpelling::decimal;
}

// The sign of a hexadecimal spelling's leading "0", which is all of it that is decimal.
double signedZeroBefore(const char *text) {
    while (isCSpace(*text)) ++text;
    return *text == '-' ? -0.0 : 0.0;
}

std::string show(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%a (%.17g)", v, v);
    return text;
}

// ---- integer reading: atoi, with strtol's clamping beyond 32 bits ---------------------------

void checkInteger(const std::string &field) {
    errno = 0;
    long wide = std::strtol(field.c_str(), nullptr, 10);
    int expected = wide > INT_MAX ? INT_MAX : wide < INT_MIN ? INT_MIN : static_cast<int>(wide);
    int got = readInteger(field);
    FUZZ_CHECK(got == expected, "readInteger(" + escaped(field) + ") = " + std::to_string(got) +
                                    ", strtol clamped gives " + std::to_string(expected));
    if (wide == expected) {
        FUZZ_CHECK(got == std::atoi(field.c_str()),
                   "readInteger differs from atoi: " + escaped(field));
    }
}

// ---- real reading: atof, which is strtod ----------------------------------------------------

void checkReal(const std::string &field) {
    double got = readReal(field);
    double expected = 0.0;
    switch (classify(field.c_str())) {
        case realSpelling::decimal:
            expected = std::strtod(field.c_str(), nullptr);
            break;
        case realSpelling::hexadecimal:
            expected = signedZeroBefore(field.c_str());
            break;
        case realSpelling::notANumber:
            expected = 0.0;
            break;
    }
    FUZZ_CHECK(fuzz::sameBits(got, expected),
               "readReal(" + escaped(field) + ") = " + show(got) + ", expected " + show(expected));
    if (classify(field.c_str()) == realSpelling::decimal) {
        FUZZ_CHECK(fuzz::sameBits(got, std::atof(field.c_str())),
                   "readReal differs from atof: " + escaped(field));
    }
}

// ---- time of day: sscanf "%2d%2d%2d" and "%2d%2d%f" ----------------------------------------

constexpr int presetHour = -77, presetMin = -78, presetWholeSec = -79;
constexpr float presetSec = -80.5f;

// What sscanf stores for the seconds when they are not a decimal spelling: a hexadecimal one
// stores its signed leading zero; an inf or nan word stores nothing.
void decidedSeconds(const char *rest, int *stored, float *sec) {
    if (classify(rest) == realSpelling::hexadecimal) {
        *sec = static_cast<float>(signedZeroBefore(rest));
        *stored = 3;
    } else {
        *stored = 2;
    }
}

void checkTimeOfDay(const std::string &field) {
    const char *text = field.c_str();
    {
        int h = presetHour, m = presetMin, s = presetWholeSec;
        int stored = std::sscanf(text, "%2d%2d%2d", &h, &m, &s);
        if (stored == EOF) stored = 0;
        int gh = presetHour, gm = presetMin, gs = presetWholeSec;
        int got = readTimeOfDay(field, &gh, &gm, &gs);
        FUZZ_CHECK(got == stored && gh == h && gm == m && gs == s,
                   "readTimeOfDay whole form on " + escaped(field) + ": stored " +
                       std::to_string(got) + " {" + std::to_string(gh) + "," + std::to_string(gm) +
                       "," + std::to_string(gs) + "}, sscanf " + std::to_string(stored) + " {" +
                       std::to_string(h) + "," + std::to_string(m) + "," + std::to_string(s) + "}");
    }
    {
        int h = presetHour, m = presetMin, consumed = -1;
        float s = presetSec;
        int stored = std::sscanf(text, "%2d%2d%n", &h, &m, &consumed);
        if (stored == EOF) stored = 0;
        if (stored == 2) {
            const char *rest = text + consumed;
            if (classify(rest) == realSpelling::decimal) {
                stored += std::sscanf(rest, "%f", &s) == 1 ? 1 : 0;
                // The one conversion in a single sscanf call, to catch a difference in how
                // the format carries on after the minute.
                float whole = presetSec;
                int h2 = 0, m2 = 0;
                FUZZ_CHECK(std::sscanf(text, "%2d%2d%f", &h2, &m2, &whole) == stored &&
                               fuzz::sameBits(whole, s),
                           "sscanf in two steps disagrees with itself: " + escaped(field));
            } else {
                decidedSeconds(rest, &stored, &s);
            }
        }
        int gh = presetHour, gm = presetMin;
        float gs = presetSec;
        int got = readTimeOfDay(field, &gh, &gm, &gs);
        FUZZ_CHECK(got == stored && gh == h && gm == m && fuzz::sameBits(gs, s),
                   "readTimeOfDay real form on " + escaped(field) + ": stored " +
                       std::to_string(got) + " seconds " + show(gs) + ", expected " +
                       std::to_string(stored) + " seconds " + show(s));
    }
}

// ---- degrees and minutes: sscanf "%2d%lf" and "%3d%lf" --------------------------------------

void checkDegreesMinutes(const std::string &field, int width) {
    const char *text = field.c_str();
    const char *format = width == 2 ? "%2d%n" : "%3d%n";
    int degrees = 0, consumed = -1;
    double minutes = 0.0;
    bool both = false;
    if (std::sscanf(text, format, &degrees, &consumed) == 1) {
        const char *rest = text + consumed;
        switch (classify(rest)) {
            case realSpelling::decimal:
                both = std::sscanf(rest, "%lf", &minutes) == 1;
                break;
            case realSpelling::hexadecimal:
                minutes = signedZeroBefore(rest);
                both = true;
                break;
            case realSpelling::notANumber:
                break;
        }
    }
    const double preset = -123.456;
    double got = preset;
    bool set = readDegreesMinutes(field, width, &got);
    FUZZ_CHECK(set == both, "readDegreesMinutes(" + escaped(field) + ", " + std::to_string(width) +
                                ") " + (set ? "set" : "did not set") + " a coordinate");
    double expected = both ? degrees + minutes / 60.0 : preset;
    FUZZ_CHECK(fuzz::sameBits(got, expected), "readDegreesMinutes(" + escaped(field) + ", " +
                                                  std::to_string(width) + ") = " + show(got) +
                                                  ", expected " + show(expected));
}

// ---- splitting and identifiers: strtok and strncmp ------------------------------------------

std::vector<std::string> splitWithStrtok(const std::string &text) {
    std::string copy = text;
    std::vector<std::string> fields;
    for (char *f = std::strtok(copy.data(), ","); f != nullptr; f = std::strtok(nullptr, ",")) {
        fields.emplace_back(f);
    }
    return fields;
}

std::vector<std::string> splitWithNextField(const std::string &text) {
    sentenceFields sentence{text};
    std::vector<std::string> fields;
    for (auto f = nextField(sentence); !f.empty(); f = nextField(sentence)) {
        // Fields are read where they lie, never copied.
        FUZZ_CHECK(f.data() >= text.data() && f.data() + f.size() <= text.data() + text.size(),
                   "a field lies outside its sentence");
        fields.emplace_back(f);
    }
    for (int i = 0; i < 2; ++i) FUZZ_CHECK(nextField(sentence).empty(), "a field after the end");
    return fields;
}

void checkIdentifiers(const std::string &field) {
    static const char *const ids[] = {"$GPZDA", "$GPGGA", "$GPVTG", "$GPHDT", "$gpgga"};
    for (const char *id : ids) {
        bool expected = std::strncmp(field.c_str(), id, 6) == 0;
        FUZZ_CHECK(matchSentenceId(field, id) == expected,
                   "matchSentenceId(" + escaped(field) + ", " + id + ") differs from strncmp");
    }
}

void checkReadings(const std::string &field) {
    checkInteger(field);
    checkReal(field);
    checkTimeOfDay(field);
    checkDegreesMinutes(field, 2);
    checkDegreesMinutes(field, 3);
    checkIdentifiers(field);
    // A single-precision field holds the nearest float, or an infinity of the sign beyond.
    double v = readReal(field);
    float single = toSingle(v);
    if (std::fabs(v) <= FLT_MAX) {
        FUZZ_CHECK(fuzz::sameBits(single, static_cast<float>(v)), "toSingle rounds " + show(v));
    } else {
        FUZZ_CHECK(std::isinf(single) || std::fabs(single) == FLT_MAX, "toSingle of " + show(v));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // A sentence's text ends at its first zero byte, as the C routines see it too, and is never
    // longer than one receive: no field the readings are given can be longer.
    const std::string text(
        reinterpret_cast<const char *>(data),
        strnlen(reinterpret_cast<const char *>(data), std::min<std::size_t>(size, datagramSize)));
    const std::vector<std::string> fields = splitWithStrtok(text);
    FUZZ_CHECK(splitWithNextField(text) == fields,
               "nextField splits differently from strtok: " + escaped(text));
    checkReadings(text);
    for (std::size_t i = 0; i < fields.size() && i < 16; ++i) checkReadings(fields[i]);
    return 0;
}
