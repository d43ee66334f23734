# Writes OUTPUT, a C++ source holding every file given in FILES (the page's
# HTML, JS and CSS) as bytes, with its path and content type: the console
# serves them from the binary, with nothing to download or install. FILES
# comes separated by '|'. Included by service/CMakeLists.txt when CMake
# configures.
string(REPLACE "|" ";" FILES "${FILES}")
set(body "")
set(table "")
set(index 0)
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  get_filename_component(extension ${file} LAST_EXT)
  if(extension STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(extension STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(extension STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  elseif(extension STREQUAL ".svg")
    set(type "image/svg+xml")
  else()
    set(type "application/octet-stream")
  endif()
  file(READ ${file} bytes HEX)
  string(LENGTH "${bytes}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
  string(APPEND body "const unsigned char file${index}[] = {\n${bytes}0};\n")
  string(APPEND table "    {\"/${name}\", \"${type}\", file${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.new "// Generated from service/http/www/ by embed.cmake: do not edit.
#include <cstring>
#include <string>

#include \"api.h\"

namespace tessaro::http {

namespace {

${body}
const WwwFile files[] = {
${table}};

}  // namespace

const WwwFile *findWwwFile(const std::string &path) {
    for (const WwwFile &file : files)
        if (path == file.path) return &file;
    return nullptr;
}

}  // namespace tessaro::http
")
# Rewritten only when it changed, so an unchanged page costs no recompile.
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
