// The page compiled into navdisplay: all of it is there, and none of it reaches elsewhere.
#include "pageAssets.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

const display::pageAsset *findAsset(std::string_view path) {
    for (const display::pageAsset &asset : display::pageAssets()) {
        if (asset.path == path) return &asset;
    }
    return nullptr;
}

TEST(PageAssets, ThePageAndEveryPartItNamesAreServedWithTheirTypes) {
    const display::pageAsset *page = findAsset("/");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->contentType, "text/html; charset=utf-8");
    EXPECT_TRUE(page->body.starts_with("<!DOCTYPE html>"));

    std::string html(page->body);
    std::regex reference(R"re((?:src|href)="([^"]*)")re");
    int references = 0;
    for (std::sregex_iterator it(html.begin(), html.end(), reference), end; it != end; ++it) {
        std::string path = (*it)[1];
        SCOPED_TRACE(path);
        ++references;
        ASSERT_TRUE(path.starts_with("/") && !path.starts_with("//"));
        const display::pageAsset *part = findAsset(path);
        ASSERT_NE(part, nullptr);
        EXPECT_FALSE(part->body.empty());
    }
    EXPECT_EQ(references, 3);  // the icon, the style sheet and the script
    EXPECT_EQ(findAsset("/display.js")->contentType, "text/javascript; charset=utf-8");
    EXPECT_EQ(findAsset("/display.css")->contentType, "text/css; charset=utf-8");
    EXPECT_EQ(findAsset("/favicon.svg")->contentType, "image/svg+xml");
}

// A ship often has no connection ashore: any address outside the page would hang or fail.
// The one allowed is the SVG namespace, a name that is never fetched.
TEST(PageAssets, NoPartNamesAnAddressElsewhere) {
    const std::string svgNamespace = "http://www.w3.org/2000/svg";
    for (const display::pageAsset &asset : display::pageAssets()) {
        SCOPED_TRACE(std::string(asset.path));
        std::string body(asset.body);
        std::regex address(R"re((https?:|ftp:|wss?:)?//[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+)re");
        for (std::sregex_iterator it(body.begin(), body.end(), address), end; it != end; ++it) {
            std::string found = it->str();
            EXPECT_TRUE(body.compare(it->position(), svgNamespace.size(), svgNamespace) == 0)
                << "names " << found;
        }
        EXPECT_EQ(body.find("@import"), std::string::npos);
    }
}

}  // namespace
