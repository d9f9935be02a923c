// The query protocol as the client reads it: header and record checks, data ages, and the
// three output formats, byte for byte.
#include "protocol/navProtocol.h"
#include "server/query.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using navproto::outputFormat;

// What the server sends for "HEADER": the clients under test take it as it is.
const std::string header(headerString);

// Both records zeroed: nothing received yet.
const std::string zeroed =
    "1709626026,0,NO_ITEM,NO_ITEM,0.000000,0.000000,0,0.000000,0.000000,0,0.000000,NO_ITEM,"
    "NO_ITEM,NO_ITEM,0.000000,0.000000,0.000000,0.000000,NO_ITEM,NO_ITEM,NO_ITEM,NO_ITEM,2024,"
    "64,Tue Mar  5 08:07:06 2024,+0";

// Ship time 6 s old, vehicle fix 42 s old, southern and western values.
const std::string live =
    "1709626026,1709626020,NO_ITEM,NO_ITEM,-12.500000,-45.123457,2,10.100000,0.900000,"
    "1709626020,271.250000,NO_ITEM,NO_ITEM,NO_ITEM,1709625984.000000,-12.500123,-45.000321,"
    "850.250000,NO_ITEM,NO_ITEM,NO_ITEM,NO_ITEM,2024,64,Tue Mar  5 08:07:06 2024,+0";

// Values the decoders can reach in extreme cases: JSON has no words for them.
const std::string extreme =
    "1709626026,1709626020,NO_ITEM,NO_ITEM,inf,-inf,2,-nan,nan,1709626020,-0.000000,NO_ITEM,"
    "NO_ITEM,NO_ITEM,1709625984.000000,-12.500123,-45.000321,850.250000,NO_ITEM,NO_ITEM,NO_ITEM,"
    "NO_ITEM,2024,64,Tue Mar  5 08:07:06 2024,+0";

navproto::channelHeader parsedHeader() {
    navproto::channelHeader h;
    std::string why;
    EXPECT_TRUE(navproto::parseHeader(header, h, why)) << why;
    return h;
}

std::vector<std::size_t> positionsOf(std::string_view list) {
    const auto &known = navproto::knownChannels();
    std::vector<std::string_view> names(known.begin(), known.end());
    std::vector<std::size_t> positions;
    std::string why;
    EXPECT_TRUE(navproto::selectChannels(list, names, positions, why)) << why;
    return positions;
}

struct formatCase {
    const char *name;
    outputFormat format;
    const char *channels;  // empty: all
    bool ages;
    std::vector<std::string> records;
    std::string expected;
};

TEST(RecordFormatter, WritesEachFormatByteForByte) {
    const formatCase cases[] = {
        {"csv, all channels, header row once",
         outputFormat::csv,
         "",
         false,
         {zeroed, live},
         header + "\n" + zeroed + "\n" + live + "\n"},
        {"csv, chosen channels in the order asked, ages as columns, unknown ages empty",
         outputFormat::csv,
         "ROV.KELTO.DEPTH,SHIP.GPS.LAT,LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING",
         true,
         {live, zeroed},
         "ROV.KELTO.DEPTH,SHIP.GPS.LAT,LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING,SHIP.GPS.TIME.AGE,"
         "ROV.POSITION.LAT.UTC.AGE\n"
         "850.250000,-12.500000,Tue Mar  5 08:07:06 2024,6,42\n"
         "0.000000,0.000000,Tue Mar  5 08:07:06 2024,,\n"},
        {"csv keeps non-finite values as the server wrote them",
         outputFormat::csv,
         "SHIP.GPS.LAT,SHIP.GPS.HORIZONTAL_VELOCITY,SHIP.GYRO.DEGREES",
         false,
         {extreme},
         "SHIP.GPS.LAT,SHIP.GPS.HORIZONTAL_VELOCITY,SHIP.GYRO.DEGREES\ninf,-nan,-0.000000\n"},
        {"json, all channels: numbers as numbers, NO_ITEM null, the two texts as strings",
         outputFormat::json,
         "",
         false,
         {live},
         "{\"LOGHOST.SYSTEM.UTC\":1709626026,\"SHIP.GPS.TIME\":1709626020,\"ROV.PRESSURE\":null,"
         "\"ROV.CTD.PRESSURE\":null,\"SHIP.GPS.LAT\":-12.500000,\"SHIP.GPS.LON\":-45.123457,"
         "\"SHIP.GPS.DIFFERENTIAL\":2,\"SHIP.GPS.HORIZONTAL_VELOCITY\":10.100000,"
         "\"SHIP.GPS.HDOP\":0.900000,\"SHIP.GYRO.DEGREES.UTC\":1709626020,"
         "\"SHIP.GYRO.DEGREES\":271.250000,\"SHIP.WIND.TRUE_SPEED.UTC\":null,"
         "\"SHIP.WIND.TRUE_SPEED\":null,\"SHIP.WIND.TRUE_DIRECTION\":null,"
         "\"ROV.POSITION.LAT.UTC\":1709625984.000000,\"ROV.POSITION.LAT\":-12.500123,"
         "\"ROV.POSITION.LON\":-45.000321,\"ROV.KELTO.DEPTH\":850.250000,\"ROV.HEADING\":null,"
         "\"ROV.PITCH\":null,\"ROV.ROLL\":null,\"ROV.ALTITUDE\":null,"
         "\"LOGHOST.SYSTEM.CLOCKTIME.YEAR\":2024,\"LOGHOST.SYSTEM.CLOCKTIME.YEARDAY\":64,"
         "\"LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING\":\"Tue Mar  5 08:07:06 2024\","
         "\"LOGHOST.SYSTEM.CLOCKTIME.TIMEZONE\":\"+0\"}\n"},
        {"json: inf and nan become null, so the line stays valid JSON; ages as keys",
         outputFormat::json,
         "SHIP.GPS.LAT,SHIP.GPS.LON,SHIP.GPS.HORIZONTAL_VELOCITY,SHIP.GPS.HDOP,SHIP.GYRO.DEGREES",
         true,
         {extreme, zeroed},
         "{\"SHIP.GPS.LAT\":null,\"SHIP.GPS.LON\":null,\"SHIP.GPS.HORIZONTAL_VELOCITY\":null,"
         "\"SHIP.GPS.HDOP\":null,\"SHIP.GYRO.DEGREES\":-0.000000,\"SHIP.GPS.TIME.AGE\":6,"
         "\"ROV.POSITION.LAT.UTC.AGE\":42}\n"
         "{\"SHIP.GPS.LAT\":0.000000,\"SHIP.GPS.LON\":0.000000,"
         "\"SHIP.GPS.HORIZONTAL_VELOCITY\":0.000000,\"SHIP.GPS.HDOP\":0.000000,"
         "\"SHIP.GYRO.DEGREES\":0.000000,\"SHIP.GPS.TIME.AGE\":null,"
         "\"ROV.POSITION.LAT.UTC.AGE\":null}\n"},
        {"table: aligned names and values, ages always shown, records apart by a blank line",
         outputFormat::table,
         "SHIP.GPS.LAT,ROV.KELTO.DEPTH,LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING",
         false,
         {live, zeroed},
         "SHIP.GPS.LAT                         -12.500000\n"
         "ROV.KELTO.DEPTH                      850.250000\n"
         "LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING  Tue Mar  5 08:07:06 2024\n"
         "SHIP.GPS.TIME.AGE                    6 s\n"
         "ROV.POSITION.LAT.UTC.AGE             42 s\n"
         "\n"
         "SHIP.GPS.LAT                         0.000000\n"
         "ROV.KELTO.DEPTH                      0.000000\n"
         "LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING  Tue Mar  5 08:07:06 2024\n"
         "SHIP.GPS.TIME.AGE                    none received\n"
         "ROV.POSITION.LAT.UTC.AGE             none received\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        navproto::outputOptions options;
        options.format = c.format;
        options.ages = c.ages;
        if (*c.channels != '\0') options.channels = positionsOf(c.channels);
        navproto::recordFormatter formatter(parsedHeader(), options);
        std::string out;
        formatter.appendPreamble(out);
        for (const auto &text : c.records) {
            navproto::statusRecord record;
            std::string why;
            ASSERT_TRUE(navproto::parseRecord(text, record, why)) << why;
            formatter.appendRecord(record, out);
        }
        EXPECT_EQ(out, c.expected);
    }
}

TEST(RecordFormatter, TableOfAllChannelsAlignsOnTheLongestName) {
    navproto::recordFormatter formatter(parsedHeader(), {});
    navproto::statusRecord record;
    std::string why;
    ASSERT_TRUE(navproto::parseRecord(live, record, why)) << why;
    std::string out;
    formatter.appendRecord(record, out);
    // LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING is the longest name: 35 characters and two blanks.
    EXPECT_TRUE(out.starts_with("LOGHOST.SYSTEM.UTC                   1709626026\n")) << out;
    EXPECT_NE(out.find("\nLOGHOST.SYSTEM.CLOCKTIME.TIMEZONE    +0\n"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 28);
}

TEST(ParseHeader, TakesTheServersHeaderAndRefusesAnythingElse) {
    navproto::channelHeader h = parsedHeader();
    for (std::size_t i = 0; i < navproto::channelCount; ++i) {
        EXPECT_EQ(h.names[i], navproto::knownChannels()[i]);
    }
    struct badCase {
        std::string reply;
        const char *why;
    };
    const badCase cases[] = {
        {header.substr(0, header.rfind(',')), "header has 25 names, expected 26"},
        {header + ",", "header has 27 names, expected 26"},
        {header + ",EXTRA", "header has 27 names, expected 26"},
        {"A," + header.substr(header.find(',', header.find(',') + 1)), "header name 2 is empty"},
        {"LOGHOST SYSTEM" + header.substr(header.find(',')), "is not a channel name"},
        {header + "\n", "not printable"},
        {"", "header has 1 names, expected 26"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reply);
        navproto::channelHeader out;
        std::string why;
        EXPECT_FALSE(navproto::parseHeader(c.reply, out, why));
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
}

TEST(ParseRecord, ClassifiesEveryField) {
    navproto::statusRecord r;
    std::string why;
    ASSERT_TRUE(navproto::parseRecord(extreme, r, why)) << why;
    EXPECT_EQ(r.fields[0].kind, navproto::valueKind::number);
    EXPECT_EQ(r.fields[0].number, 1709626026.0);
    EXPECT_EQ(r.fields[2].kind, navproto::valueKind::missing);
    EXPECT_EQ(r.fields[4].kind, navproto::valueKind::nonFinite);
    EXPECT_EQ(r.fields[7].kind, navproto::valueKind::nonFinite);
    EXPECT_EQ(r.fields[10].kind, navproto::valueKind::number);
    EXPECT_EQ(r.fields[14].number, 1709625984.0);
    EXPECT_EQ(r.fields[24].kind, navproto::valueKind::text);
    EXPECT_EQ(r.fields[24].text, "Tue Mar  5 08:07:06 2024");
    EXPECT_EQ(r.fields[25].text, "+0");
}

TEST(ParseRecord, RefusesMalformedRecords) {
    struct badCase {
        std::string reply;
        const char *why;
    };
    std::string withText = live;
    withText.replace(withText.find("-12.500000"), 10, "twelve");
    const badCase cases[] = {
        {live.substr(0, live.rfind(',')), "record has 25 fields, expected 26"},
        {live + ",", "record has 27 fields, expected 26"},
        {header, "record field 1 'LOGHOST.SYSTEM.UTC' is neither a number nor NO_ITEM"},
        {withText, "record field 5 'twelve'"},
        {"," + live.substr(live.find(',') + 1), "record field 1 '' is neither"},
        {live + "\n", "not printable"},
        {"1709626026", "record has 1 fields"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reply);
        navproto::statusRecord out;
        std::string why;
        EXPECT_FALSE(navproto::parseRecord(c.reply, out, why));
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
}

TEST(ParseRecord, ReadsRecordsFarLongerThanAKilobyte) {
    // The largest double in "%f" form: 309 digits before the point.
    std::string huge(309, '9');
    std::string record = live;
    record.replace(record.find("-12.500000"), 10, "-" + huge + ".000000");
    record.replace(record.find("850.250000"), 10, huge + ".000000");
    record.replace(record.find("271.250000"), 10, huge + ".000000");
    ASSERT_GT(record.size(), 1024u);
    navproto::statusRecord r;
    std::string why;
    ASSERT_TRUE(navproto::parseRecord(record, r, why)) << why;
    navproto::outputOptions options;
    options.format = outputFormat::json;
    options.channels = positionsOf("SHIP.GPS.LAT");
    navproto::recordFormatter formatter(parsedHeader(), options);
    std::string out;
    formatter.appendRecord(r, out);
    EXPECT_EQ(out, "{\"SHIP.GPS.LAT\":-" + huge + ".000000}\n");
}

TEST(ComputeAges, SubtractsTheSourceTimesFromTheHostTime) {
    struct ageCase {
        std::string record;
        std::optional<double> ship;
        std::optional<double> vehicle;
    };
    auto with = [](std::string_view host, std::string_view ship, std::string_view vehicle) {
        std::string r = live;
        r.replace(r.find("1709625984.000000"), 17, vehicle);
        r.replace(r.find("1709626020"), 10, ship);
        r.replace(0, 10, host);
        return r;
    };
    const ageCase cases[] = {
        {live, 6.0, 42.0},
        {zeroed, std::nullopt, std::nullopt},  // 0: nothing received yet
        {with("1000", "1000", "999.500000"), 0.0, 0.5},
        {with("1000", "1010", "1200.000000"), -10.0, -200.0},  // sender's clock ahead
        {with("NO_ITEM", "990", "990.000000"), std::nullopt, std::nullopt},
        {with("1000", "NO_ITEM", "nan"), std::nullopt, std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.record);
        navproto::statusRecord r;
        std::string why;
        ASSERT_TRUE(navproto::parseRecord(c.record, r, why)) << why;
        navproto::dataAges ages = navproto::computeAges(r);
        EXPECT_EQ(ages.ship, c.ship);
        EXPECT_EQ(ages.vehicle, c.vehicle);
    }
}

TEST(SelectChannels, KeepsTheOrderAskedAndNamesEveryUnknownChannel) {
    EXPECT_EQ(positionsOf("ROV.KELTO.DEPTH,LOGHOST.SYSTEM.UTC,ROV.KELTO.DEPTH"),
              (std::vector<std::size_t>{17, 0, 17}));

    const auto &known = navproto::knownChannels();
    std::vector<std::string_view> names(known.begin(), known.end());
    std::vector<std::size_t> positions;
    std::string why;
    EXPECT_FALSE(
        navproto::selectChannels("SHIP.GPS.LAT,ship.gps.lon,DEPTH", names, positions, why));
    EXPECT_EQ(why, "unknown channel 'ship.gps.lon', 'DEPTH' (--list-channels shows the names)");
}

}  // namespace
