// navquery as a program: its exit statuses, its output and watch mode, against fake servers on
// loopback and the real server.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "server/query.h"
#include "toolRun.h"

namespace {

using namespace toolsE2e;

// What the server sends for "HEADER": the clients under test take it as it is.
const std::string header(headerString);

// Ship time 6 s old, vehicle fix 42 s old.
const std::string record =
    "1709626026,1709626020,NO_ITEM,NO_ITEM,-12.500000,-45.123457,2,10.100000,0.900000,"
    "1709626020,271.250000,NO_ITEM,NO_ITEM,NO_ITEM,1709625984.000000,-12.500123,-45.000321,"
    "850.250000,NO_ITEM,NO_ITEM,NO_ITEM,NO_ITEM,2024,64,Tue Mar  5 08:07:06 2024,+0";

constexpr int queryPort = 8080;

TEST(Navquery, PrintsAServersRecordInTheFormatAsked) {
    fakeServer server(queryPort, header, record);
    toolResult csv = runTool(
        navquery({"--format", "csv", "--channels", "SHIP.GPS.LAT,ROV.KELTO.DEPTH", "--ages"}));
    EXPECT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out,
              "SHIP.GPS.LAT,ROV.KELTO.DEPTH,SHIP.GPS.TIME.AGE,ROV.POSITION.LAT.UTC.AGE\n"
              "-12.500000,850.250000,6,42\n");
    EXPECT_EQ(csv.err, "");

    toolResult table = runTool(navquery({"--format", "table", "--channels", "SHIP.GPS.LAT"}));
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.out,
              "SHIP.GPS.LAT              -12.500000\n"
              "SHIP.GPS.TIME.AGE         6 s\n"
              "ROV.POSITION.LAT.UTC.AGE  42 s\n");
    // Off a terminal the default is CSV.
    toolResult plain = runTool(navquery({}));
    EXPECT_EQ(plain.out, header + "\n" + record + "\n");
}

TEST(Navquery, ReadsRepliesLongerThanAKilobyteWhole) {
    std::string huge = "-" + std::string(309, '9') + ".000000";
    std::string longRecord = record;
    for (const char *value : {"-12.500000", "-45.123457", "850.250000", "271.250000"}) {
        longRecord.replace(longRecord.find(value), std::string_view(value).size(), huge);
    }
    ASSERT_GT(longRecord.size(), 1024u);
    fakeServer server(queryPort, header, longRecord);
    toolResult r = runTool(navquery({"--format", "json", "--channels", "ROV.KELTO.DEPTH"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"ROV.KELTO.DEPTH\":" + huge + "}\n");
}

TEST(Navquery, NoReplyInTimeGivesStatus3AfterEveryRetry) {
    // A port where something listens but never answers: each try sends the header query again.
    int silent = e2e::occupyUdpPort(queryPort);
    ASSERT_GE(silent, 0);
    toolResult r = runTool(navquery({"--timeout", "0.2", "--retries", "2"}));
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "navquery: no header from 127.0.0.1:8080 within 0.2 s (3 tries)\n");
    int queries = 0;
    char buf[64];
    while (recv(silent, buf, sizeof buf, MSG_DONTWAIT) == 6 &&
           std::string_view(buf, 6) == "HEADER") {
        ++queries;
    }
    EXPECT_EQ(queries, 3);
    close(silent);

    // A port where nothing listens at all.
    toolResult none = runTool(navquery({"--port", "9", "--timeout", "0.2", "--retries", "0"}));
    EXPECT_EQ(none.status, 3);
    EXPECT_TRUE(none.err.starts_with("navquery: no header from 127.0.0.1:9 within 0.2 s (1 try)"))
        << none.err;
}

TEST(Navquery, MalformedRepliesGiveStatus4) {
    struct badCase {
        const char *name;
        std::string header;
        std::string record;
        const char *why;
    };
    const badCase cases[] = {
        {"a header of 25 names", header.substr(0, header.rfind(',')), record,
         "header has 25 names, expected 26"},
        {"a record of 25 fields", header, record.substr(0, record.rfind(',')),
         "record has 25 fields, expected 26"},
        {"a record with a comma after the last field", header, record + ",",
         "record has 27 fields, expected 26"},
        {"a record with a word for a value", header,
         std::string(record).replace(record.find("850.250000"), 10, "deep"),
         "record field 18 'deep' is neither a number nor NO_ITEM"},
        {"the header sent for a record", header, header,
         "record field 1 'LOGHOST.SYSTEM.UTC' is neither a number nor NO_ITEM"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fakeServer server(queryPort, c.header, c.record);
        toolResult r = runTool(navquery({"--format", "json", "--timeout", "0.5"}));
        EXPECT_EQ(r.status, 4);
        EXPECT_EQ(r.err,
                  std::string("navquery: malformed reply from 127.0.0.1:8080: ") + c.why + "\n");
    }
}

TEST(Navquery, StaleDataGivesStatus5) {
    {
        fakeServer server(queryPort, header, record);
        // Ages 6 s and 42 s: stale only when one exceeds the limit.
        toolResult fresh = runTool(navquery({"--format", "csv", "--max-age", "42"}));
        EXPECT_EQ(fresh.status, 0) << fresh.err;
        toolResult stale = runTool(navquery({"--format", "csv", "--max-age", "41.5"}));
        EXPECT_EQ(stale.status, 5);
        EXPECT_EQ(stale.out, header + "\n" + record + "\n");  // the record is still printed
        EXPECT_EQ(stale.err,
                  "navquery: stale data: the vehicle's fix is 42 s old, more than 41.5 s\n");
    }
    // The real server before any sentence: nothing received counts as stale.
    tempDir dir;
    auto real = e2e::startServer({.stdoutPath = dir.path("server.out")});
    toolResult empty = runTool(navquery({"--format", "json", "--max-age", "3600"}));
    EXPECT_EQ(empty.status, 5);
    EXPECT_EQ(empty.err,
              "navquery: stale data: no ship's date-and-time sentence received\n"
              "navquery: stale data: no vehicle's fix received\n");
}

TEST(Navquery, WatchModeRecordsUntilInterruptedWithEveryLineWhole) {
    tempDir dir;
    auto server = e2e::startServer({.stdoutPath = dir.path("server.out")});
    e2e::process watch(navquery({"--watch", "--interval", "0.05", "--format", "csv"}));
    // Records are flushed as they come, so they can be seen while the watch goes on.
    auto lines = [&] { return std::count(watch.out().begin(), watch.out().end(), '\n'); };
    for (int i = 0; i < 100 && lines() < 4; ++i) watch.readStdout(watch.out().size() + 1, 100ms);
    ASSERT_GE(lines(), 4) << watch.out();

    kill(watch.pid(), SIGINT);
    EXPECT_EQ(watch.waitExit(5s), 0);
    watch.readStdout(SIZE_MAX, 2s);
    const std::string &out = watch.out();
    EXPECT_TRUE(out.ends_with("\n"));
    std::vector<std::string> rows = splitLines(out);
    ASSERT_GE(rows.size(), 4u);
    EXPECT_EQ(rows[0], header);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(std::count(rows[i].begin(), rows[i].end(), ','), 25) << rows[i];
        EXPECT_TRUE(rows[i].ends_with(",+0")) << rows[i];
    }
    EXPECT_EQ(watch.err(), "");
}

TEST(Navquery, CountEndsTheWatch) {
    fakeServer server(queryPort, header, record);
    toolResult r = runTool(navquery({"--count", "3", "--interval", "0.01", "--format", "json"}));
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = splitLines(r.out);
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_EQ(server.headerQueries(), 1);
    EXPECT_EQ(server.recordQueries(), 3);
}

TEST(Navquery, UsageErrorsGiveStatus2AndHelpListsTheStatuses) {
    toolResult help = runTool(navquery({"--help"}));
    EXPECT_EQ(help.status, 0);
    for (const char *line : {"  0  success\n", "  2  usage error", "  3  no reply in time\n",
                             "  4  malformed reply\n", "  5  stale data"}) {
        EXPECT_NE(help.out.find(line), std::string::npos) << line;
    }

    toolResult list = runTool(navquery({"--list-channels"}));
    EXPECT_EQ(list.status, 0);
    std::string joined = list.out;
    std::replace(joined.begin(), joined.end(), '\n', ',');
    EXPECT_EQ(joined, header + ",");

    struct usageCase {
        std::vector<std::string> args;
        const char *why;
    };
    const usageCase cases[] = {
        {{"--bogus"}, "navquery: unknown option --bogus\n"},
        {{"extra"}, "navquery: unexpected argument 'extra'\n"},
        {{"--channels", "SHIP.GPS.LAT,DEPTH,Nope"},
         "navquery: unknown channel 'DEPTH', 'Nope' (--list-channels shows the names)\n"},
        {{"--format", "xml"}, "navquery: --format needs table, csv or json, not 'xml'\n"},
        {{"--timeout", "0"}, "navquery: --timeout needs a number above 0 up to 3600, not '0'\n"},
        {{"--count", "-1"}, "navquery: --count needs a whole number from 1 up, not '-1'\n"},
        {{"--port"}, "navquery: --port needs a value\n"},
        {{"--retries", "101"},
         "navquery: --retries needs a whole number from 0 to 100, not '101'\n"},
        {{"--watch=yes"}, "navquery: --watch takes no value\n"},
        {{"--host", "no-such-host.invalid"},
         "navquery: cannot resolve host 'no-such-host.invalid'"},
    };
    for (const auto &c : cases) {
        toolResult r = runTool(navquery(c.args));
        EXPECT_EQ(r.status, 2) << c.args[0];
        EXPECT_TRUE(r.err.starts_with(c.why)) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
