// The display page's files, compiled into the program: the browser gets every byte from
// navdisplay itself, so the page works on a ship with no connection to anywhere.
#pragma once

#include <span>
#include <string_view>

namespace display {

struct pageAsset {
    std::string_view path;         // as requested: "/" for the page itself
    std::string_view contentType;  // for the Content-Type header
    std::string_view body;
};

std::span<const pageAsset> pageAssets();

}  // namespace display
