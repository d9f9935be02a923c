# Writes the page files into one C++ source as byte arrays, with the path each is served under
# and its content type. Run at build time: cmake -DOUTPUT=file.cpp -DINPUTS="a;b" -P embedPage.cmake

set(entries "")
set(arrays "")
set(index 0)
foreach(input IN LISTS INPUTS)
  get_filename_component(name ${input} NAME)
  get_filename_component(extension ${input} LAST_EXT)
  if(name STREQUAL "index.html")
    set(path "/")
  else()
    set(path "/${name}")
  endif()
  if(extension STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(extension STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  elseif(extension STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(extension STREQUAL ".svg")
    set(type "image/svg+xml")
  else()
    message(FATAL_ERROR "no content type for ${input}")
  endif()
  file(READ ${input} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR bytes "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," hex "${hex}")
  # A byte array rather than a string literal: no escaping rules, no literal length limits.
  string(APPEND arrays "const char page${index}[] = {${hex}};\n")
  string(APPEND entries "    {\"${path}\", \"${type}\", std::string_view(page${index}, ${bytes})},\n")
  math(EXPR index "${index} + 1")
endforeach()

file(WRITE ${OUTPUT}.tmp "// Generated from display/page/ by embedPage.cmake: edit those files, not this one.
#include \"pageAssets.h\"

namespace display {

namespace {

${arrays}
const pageAsset assets[] = {
${entries}};

}  // namespace

std::span<const pageAsset> pageAssets() {
    return assets;
}

}  // namespace display
")
# Only a changed page rebuilds the library.
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
