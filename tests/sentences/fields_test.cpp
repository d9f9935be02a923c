#include "sentences/fields.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> splitAll(std::string_view text) {
    sentenceFields f{text};
    std::vector<std::string> fields;
    for (auto v = nextField(f); !v.empty(); v = nextField(f)) fields.emplace_back(v);
    return fields;
}

TEST(NextField, SplitsLikeStrtokAtCommas) {
    struct Case {
        const char *text;
        std::vector<std::string> fields;
    };
    const Case cases[] = {
        {"$GPHDT,,T", {"$GPHDT", "T"}},
        {",,$GPHDT,90.0,T", {"$GPHDT", "90.0", "T"}},
        {"", {}},
        {",,,,", {}},
        {"$GPGGA", {"$GPGGA"}},
        {"$GPGGA\r\n", {"$GPGGA\r\n"}},
        {"$GPHDT,274.07*03", {"$GPHDT", "274.07*03"}},
        {"$GPHDT,274.07,T*03\r\n", {"$GPHDT", "274.07", "T*03\r\n"}},
        {"a,,b,", {"a", "b"}},
        {" a , b", {" a ", " b"}},
    };
    for (const auto &c : cases) EXPECT_EQ(splitAll(c.text), c.fields) << c.text;
}

TEST(NextField, StaysExhaustedOnceNoFieldIsLeft) {
    sentenceFields f{std::string_view("$GPZDA,1")};
    EXPECT_EQ(nextField(f), "$GPZDA");
    EXPECT_EQ(nextField(f), "1");
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(nextField(f).empty());
}

TEST(NextField, NeverReadsPastTheTextItIsGiven) {
    // The view ends before the buffer does: what lies beyond must stay unseen.
    const char buffer[] = "$GPHDT,90.0,TXXXX";
    EXPECT_EQ(splitAll(std::string_view(buffer, 13)),
              (std::vector<std::string>{"$GPHDT", "90.0", "T"}));
}

TEST(MatchSentenceId, IsASixBytePrefixTest) {
    struct Case {
        const char *field;
        bool match;
    };
    const Case cases[] = {
        {"$GPGGA", true},   {"$GPGGA2", true}, {"$GPGGAX", true}, {"$GPGGA\r\n", true},
        {"$GPGG", false},   {"$gpgga", false}, {"$GNGGA", false}, {"\r\n$GPGGA", false},
        {" $GPGGA", false}, {"", false},
    };
    for (const auto &c : cases) EXPECT_EQ(matchSentenceId(c.field, "$GPGGA"), c.match) << c.field;
}

TEST(ReadTimeOfDay, WholeFormStoresWhatItCanRead) {
    struct Case {
        const char *field;
        int stored, hour, min, sec;  // untouched targets keep -1
    };
    const Case cases[] = {
        {"123519", 3, 12, 35, 19},    {"123519.99", 3, 12, 35, 19}, {"123519.87", 3, 12, 35, 19},
        {"1235", 2, 12, 35, -1},      {"12", 1, 12, -1, -1},        {"ab1235", 0, -1, -1, -1},
        {"996100", 3, 99, 61, 0},     {" 1 2 3", 3, 1, 2, 3},       {"-1-2-3", 3, -1, -2, -3},
        {"+1+2+3", 3, 1, 2, 3},       {"1-", 1, 1, -1, -1},         {"12-x", 1, 12, -1, -1},
        {"235959.99", 3, 23, 59, 59}, {"", 0, -1, -1, -1},
    };
    for (const auto &c : cases) {
        int hour = -1, min = -1, sec = -1;
        EXPECT_EQ(readTimeOfDay(c.field, &hour, &min, &sec), c.stored) << c.field;
        EXPECT_EQ(hour, c.hour) << c.field;
        EXPECT_EQ(min, c.min) << c.field;
        EXPECT_EQ(sec, c.sec) << c.field;
    }
}

TEST(ReadTimeOfDay, RealFormKeepsTheFraction) {
    struct Case {
        const char *field;
        int stored, hour, min;
        float sec;
    };
    const Case cases[] = {
        {"201530.25", 3, 20, 15, 30.25f}, {"201530.75", 3, 20, 15, 30.75f},
        {"2015", 2, 20, 15, -1.0f},       {"201530.1", 3, 20, 15, 30.1f},
        {"2015 3e1", 3, 20, 15, 30.0f},   {"201530.00*60", 3, 20, 15, 30.0f},
    };
    for (const auto &c : cases) {
        int hour = -1, min = -1;
        float sec = -1.0f;
        EXPECT_EQ(readTimeOfDay(c.field, &hour, &min, &sec), c.stored) << c.field;
        EXPECT_EQ(hour, c.hour) << c.field;
        EXPECT_EQ(min, c.min) << c.field;
        EXPECT_EQ(sec, c.sec) << c.field;
    }
}

TEST(ReadDegreesMinutes, GivesDegreesPlusMinutesOverSixty) {
    struct Case {
        const char *field;
        int degreeChars;
        double expected;
    };
    const Case cases[] = {
        {"4807.038", 2, 48 + 7.038 / 60.0},
        {"01131.000", 3, 11 + 31.0 / 60.0},
        {"3352.128", 2, 33 + 52.128 / 60.0},
        {"15112.558", 3, 151 + 12.558 / 60.0},
        {"2200.112071", 2, 22 + 0.112071 / 60.0},
        {"480x", 2, 48.0},  // hexadecimal is no number: the minutes read as 0
        {"-107.5", 2, -1 + 7.5 / 60.0},
    };
    for (const auto &c : cases) {
        double coordinate = 999.0;
        EXPECT_TRUE(readDegreesMinutes(c.field, c.degreeChars, &coordinate)) << c.field;
        EXPECT_EQ(coordinate, c.expected) << c.field;
    }
}

TEST(ReadDegreesMinutes, LeavesTheCoordinateWithoutBothNumbers) {
    for (const char *field : {"48", "M", "", "N", "4", ".5", "*66"}) {
        double coordinate = 12.5;
        EXPECT_FALSE(readDegreesMinutes(field, 2, &coordinate)) << field;
        EXPECT_EQ(coordinate, 12.5) << field;
    }
}

TEST(ApplyHemisphere, NegatesOnlyForTheUpperCaseLetter) {
    struct Case {
        const char *field;
        char letter;
        bool negated;
    };
    const Case cases[] = {
        {"S", 'S', true},  {"South", 'S', true}, {"s", 'S', false}, {"N", 'S', false},
        {"W", 'W', true},  {"w", 'W', false},    {"E", 'W', false}, {"", 'S', false},
        {"1", 'W', false}, {"W*47", 'W', true},
    };
    for (const auto &c : cases) {
        double coordinate = 33.5;
        applyHemisphere(c.field, &coordinate, c.letter);
        EXPECT_EQ(coordinate, c.negated ? -33.5 : 33.5) << c.field;
    }
    double zero = 0.0;
    applyHemisphere("S", &zero, 'S');
    EXPECT_TRUE(std::signbit(zero));
}

TEST(ReadInteger, ReadsAsAtoiAndSaturates) {
    struct Case {
        const char *field;
        int expected;
    };
    const Case cases[] = {
        {" 7", 7},
        {"+3", 3},
        {"-3", -3},
        {"08", 8},
        {"0.9", 0},
        {"M", 0},
        {"*47", 0},
        {"1.5", 1},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"-99999999999999999999999", INT_MIN},
        {"\t\n\v\f\r 12", 12},
        {"- 1", 0},
    };
    for (const auto &c : cases) EXPECT_EQ(readInteger(c.field), c.expected) << c.field;
}

TEST(ReadReal, ReadsDecimalSpellingsOnly) {
    struct Case {
        const char *field;
        double expected;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"005.5", 5.5},        {"-12.5", -12.5}, {"T*03", 0.0},
        {"274.07*03", 274.07}, {"M", 0.0},       {" 1e3", 1000.0},
        {"1e", 1.0},           {"1e+", 1.0},     {"1.5E-1x", 0.15},
        {".5", 0.5},           {"5.", 5.0},      {"0x1A", 0.0},
        {"inf", 0.0},          {"nan", 0.0},     {"-inf", 0.0},
        {"+7", 7.0},           {"1e999", inf},   {"-1e999", -inf},
        {"1e-999", 0.0},       {".", 0.0},       {"2.5e-324", 4.9406564584124654e-324},
    };
    for (const auto &c : cases) EXPECT_EQ(readReal(c.field), c.expected) << c.field;
    EXPECT_FALSE(std::signbit(readReal("-inf")));
    EXPECT_FALSE(std::signbit(readReal("-")));
    EXPECT_TRUE(std::signbit(readReal("-0")));
}

TEST(ReadCharacter, IsTheFirstCharacterWhateverItIs) {
    EXPECT_EQ(readCharacter("M*47"), 'M');
    EXPECT_EQ(readCharacter("46.9"), '4');
    EXPECT_EQ(readCharacter(" M"), ' ');
    EXPECT_EQ(readCharacter("*"), '*');
}

TEST(ToSingle, RoundsToNearestAndOverflowsToInfinity) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(toSingle(545.4), 545.4f);
    EXPECT_EQ(toSingle(1e300), inf);
    EXPECT_EQ(toSingle(-1e300), -inf);
    EXPECT_EQ(toSingle(0x1.fffffefffffffp+127), std::numeric_limits<float>::max());
    EXPECT_EQ(toSingle(0x1.ffffffp+127), inf);
    EXPECT_TRUE(std::signbit(toSingle(-0.0)));
}

// Generated fields, each read by the project and by the C library routine it mirrors. The
// alphabet stays within what both agree on: no hexadecimal, inf or nan spellings (no x, i, n,
// a, f), and no digit runs long enough to overflow an int.
class AgainstTheCLibrary : public testing::Test {
  protected:
    std::mt19937 rng{20261211};

    std::string field(std::size_t maxLength, std::string_view alphabet) {
        std::uniform_int_distribution<std::size_t> length(1, maxLength);
        std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
        std::string s(length(rng), ' ');
        for (char &c : s) c = alphabet[pick(rng)];
        return s;
    }
    static bool exponentWithoutDigit(const std::string &s) {
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] != 'e' && s[i] != 'E') continue;
            std::size_t j = i + 1;
            if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
            if (j >= s.size() || s[j] < '0' || s[j] > '9') return true;
        }
        return false;
    }
    static constexpr std::string_view numeric = "0123456789.+- eE,*MST";
};

TEST_F(AgainstTheCLibrary, IntegerReadingMatchesAtoi) {
    for (int i = 0; i < 20000; ++i) {
        std::string s = field(9, numeric);
        ASSERT_EQ(readInteger(s), std::atoi(s.c_str())) << s;
    }
}

TEST_F(AgainstTheCLibrary, RealReadingMatchesStrtod) {
    for (int i = 0; i < 20000; ++i) {
        std::string s = field(14, numeric);
        double expected = std::strtod(s.c_str(), nullptr);
        double got = readReal(s);
        ASSERT_EQ(std::memcmp(&got, &expected, sizeof got), 0)
            << s << " " << got << " " << expected;
    }
}

TEST_F(AgainstTheCLibrary, TimeOfDayMatchesSscanf) {
    for (int i = 0; i < 20000; ++i) {
        std::string s = field(12, numeric);
        if (exponentWithoutDigit(s)) continue;  // sscanf gives up on "1e" where strtod reads 1
        int h1 = -7, m1 = -7, h2 = -7, m2 = -7;
        float sec1 = -7.0f, sec2 = -7.0f;
        int n1 = std::sscanf(s.c_str(), "%2d%2d%f", &h1, &m1, &sec1);
        int n2 = readTimeOfDay(s, &h2, &m2, &sec2);
        ASSERT_EQ(std::max(n1, 0), n2) << s;
        ASSERT_EQ(h1, h2) << s;
        ASSERT_EQ(m1, m2) << s;
        ASSERT_EQ(std::memcmp(&sec1, &sec2, sizeof sec1), 0) << s;

        int sec3 = -7, sec4 = -7;
        n1 = std::sscanf(s.c_str(), "%2d%2d%2d", &h1, &m1, &sec3);
        n2 = readTimeOfDay(s, &h2, &m2, &sec4);
        ASSERT_EQ(std::max(n1, 0), n2) << s;
        ASSERT_EQ(sec3, sec4) << s;
    }
}

TEST_F(AgainstTheCLibrary, DegreesMinutesMatchSscanf) {
    for (int i = 0; i < 20000; ++i) {
        std::string s = field(12, numeric);
        if (exponentWithoutDigit(s)) continue;
        for (int width : {2, 3}) {
            int degrees = 0;
            double minutes = 0.0;
            int n = std::sscanf(s.c_str(), width == 2 ? "%2d%lf" : "%3d%lf", &degrees, &minutes);
            double coordinate = 1234.5;
            bool read = readDegreesMinutes(s, width, &coordinate);
            ASSERT_EQ(read, n == 2) << s;
            if (read) {
                ASSERT_EQ(coordinate, degrees + minutes / 60.0) << s;
            }
        }
    }
}

TEST_F(AgainstTheCLibrary, SplittingMatchesStrtok) {
    for (int i = 0; i < 5000; ++i) {
        std::string s = field(20, ",,,ab$*");
        std::vector<std::string> expected;
        std::string copy = s;
        for (char *t = std::strtok(copy.data(), ","); t; t = std::strtok(nullptr, ",")) {
            expected.emplace_back(t);
        }
        ASSERT_EQ(splitAll(s), expected) << s;
        ASSERT_EQ(matchSentenceId(s, "$ab,*a"), std::strncmp(s.c_str(), "$ab,*a", 6) == 0) << s;
    }
}

}  // namespace
