#include "httpRoutes.h"

#include <charconv>
#include <cstdint>
#include <string_view>
#include <system_error>

#include "pageAssets.h"
#include "poller.h"
#include "recordJson.h"

namespace display {

namespace {

// The page may load only what navdisplay itself serves: a stray reference to anywhere else
// fails in the browser instead of reaching out from a ship's network.
constexpr const char *pagePolicy =
    "default-src 'self'; img-src 'self' data:; style-src 'self'; script-src 'self'; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

void sendJson(httplib::Response &res, const nlohmann::ordered_json &body) {
    // Every answer describes this moment; a cached one would show old data as new.
    res.set_header("Cache-Control", "no-store");
    res.set_content(dumpJson(body), "application/json");
}

// ?after=SEQ; anything unreadable asks for everything.
std::uint64_t afterParameter(const httplib::Request &req) {
    if (!req.has_param("after")) return 0;
    std::string text = req.get_param_value("after");
    std::uint64_t seq = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seq);
    return ec == std::errc{} && end == text.data() + text.size() ? seq : 0;
}

void addAsset(httplib::Server &http, const pageAsset &asset) {
    http.Get(std::string(asset.path), [&asset](const httplib::Request &, httplib::Response &res) {
        res.set_header("Content-Security-Policy", pagePolicy);
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Cache-Control", "no-cache");
        res.set_content(asset.body.data(), asset.body.size(), std::string(asset.contentType));
    });
}

}  // namespace

void addRoutes(httplib::Server &http, const displayState &state, const displayOptions &options,
               const std::string &server) {
    for (const pageAsset &asset : pageAssets()) addAsset(http, asset);
    http.Get("/api/latest", [&state, server](const httplib::Request &, httplib::Response &res) {
        sendJson(res, latestToJson(state.snapshot(), server, wallClockNow()));
    });
    http.Get("/api/history", [&state](const httplib::Request &req, httplib::Response &res) {
        sendJson(res,
                 historyToJson(state.samplesAfter(afterParameter(req)), state.historyCapacity()));
    });
    http.Get("/api/config", [&options, server](const httplib::Request &, httplib::Response &res) {
        sendJson(res, configToJson(options, server));
    });
}

}  // namespace display
