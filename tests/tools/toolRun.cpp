#include "toolRun.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace toolsE2e {

toolResult runTool(const std::vector<std::string> &argv, std::chrono::milliseconds limit) {
    e2e::process p(argv);
    p.readStdout(SIZE_MAX, limit);  // to the end of its output
    toolResult r;
    r.status = p.waitExit(limit);
    r.out = p.out();
    r.err = p.err();
    return r;
}

std::vector<std::string> navquery(std::vector<std::string> args) {
    args.insert(args.begin(), NAVQUERY_PATH);
    return args;
}

std::vector<std::string> navreplay(std::vector<std::string> args) {
    args.insert(args.begin(), NAVREPLAY_PATH);
    return args;
}

std::string dataFile(std::string_view name) {
    return std::string(TOOLS_TEST_DATA_DIR) + "/" + std::string(name);
}

namespace {

int loopbackSocket(int port) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        close(fd);
        throw std::runtime_error("cannot bind 127.0.0.1:" + std::to_string(port));
    }
    return fd;
}

}  // namespace

fakeServer::fakeServer(int port, std::string header, std::string record)
    : fd_(loopbackSocket(port)),
      header_(std::move(header)),
      record_(std::move(record)),
      thread_([this] { serve(); }) {}

fakeServer::~fakeServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
}

void fakeServer::serve() {
    while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        char query[2048];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n =
            recvfrom(fd_, query, sizeof query, 0, reinterpret_cast<sockaddr *>(&from), &len);
        if (n < 0) continue;
        bool wantsHeader =
            std::string_view(query, static_cast<std::size_t>(n)).starts_with("HEADER");
        const std::string &reply = wantsHeader ? header_ : record_;
        (wantsHeader ? headerQueries_ : recordQueries_)++;
        sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr *>(&from), len);
    }
}

datagramSink::datagramSink(int port) : fd_(loopbackSocket(port)) {
    int size = 4 << 20;
    // Beyond the system's limit only with privilege; the ordinary limit still holds hundreds.
    if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
}

datagramSink::~datagramSink() {
    close(fd_);
}

std::vector<std::string> datagramSink::receive(std::size_t count, std::chrono::milliseconds quiet) {
    std::vector<std::string> got;
    std::string buf(70000, '\0');
    while (got.size() < count) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
        ssize_t n = recv(fd_, buf.data(), buf.size(), 0);
        if (n < 0) break;
        got.emplace_back(buf.data(), static_cast<std::size_t>(n));
    }
    return got;
}

tempDir::tempDir() {
    char pattern[] = "/tmp/navtools-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
    dir_ = pattern;
}

tempDir::~tempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string tempDir::path(std::string_view name) const {
    return dir_ + "/" + std::string(name);
}

std::string tempDir::write(std::string_view name, std::string_view text) const {
    std::string p = path(name);
    std::ofstream(p, std::ios::binary) << text;
    return p;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        lines.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string jsonValue(std::string_view json, std::string_view key) {
    // Built piece by piece: g++ 12 warns falsely about "literal" + string here.
    std::string quoted(1, '"');
    quoted += key;
    quoted += "\":";
    std::size_t at = json.find(quoted);
    if (at == std::string_view::npos) return {};
    std::string_view rest = json.substr(at + quoted.size());
    std::size_t end = rest.starts_with('"') ? rest.find('"', 1) + 1 : rest.find_first_of(",}");
    return std::string(rest.substr(0, end));
}

std::vector<std::string> nmeaFields(std::string_view sentence) {
    sentence = sentence.substr(0, sentence.find('*'));
    std::vector<std::string> fields;
    for (;;) {
        std::size_t comma = sentence.find(',');
        fields.emplace_back(sentence.substr(0, comma));
        if (comma == std::string_view::npos) return fields;
        sentence.remove_prefix(comma + 1);
    }
}

double nmeaDegrees(const std::string &value, int degreeDigits, const std::string &hemisphere) {
    double degrees = std::stod(value.substr(0, static_cast<std::size_t>(degreeDigits)));
    double minutes = std::stod(value.substr(static_cast<std::size_t>(degreeDigits)));
    double v = degrees + minutes / 60;
    return hemisphere == "S" || hemisphere == "W" ? -v : v;
}

std::int64_t nmeaSecondsOfDay(const std::string &time) {
    return std::stoi(time.substr(0, 2)) * 3600 + std::stoi(time.substr(2, 2)) * 60 +
           std::stoi(time.substr(4, 2));
}

std::int64_t utcSeconds(int year, int month, int day, std::int64_t secondsOfDay) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    return static_cast<std::int64_t>(timegm(&tm)) + secondsOfDay;
}

bool nmeaChecksumValid(std::string_view sentence) {
    std::size_t star = sentence.find('*');
    if (!sentence.starts_with('$') || star == std::string_view::npos ||
        star + 3 != sentence.size()) {
        return false;
    }
    unsigned sum = 0;
    for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(sentence[i]);
    char want[3];
    std::snprintf(want, sizeof want, "%02X", sum);
    return sentence.substr(star + 1) == want;
}

}  // namespace toolsE2e
