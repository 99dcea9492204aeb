# Every library comes from Debian's packages; scripts/install-deps.sh lists them.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(OpenSSL 3 REQUIRED)
find_package(ZLIB REQUIRED)
find_package(Boost 1.74 REQUIRED COMPONENTS filesystem thread chrono)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(URIPARSER REQUIRED IMPORTED_TARGET liburiparser)
pkg_check_modules(LDAP REQUIRED IMPORTED_TARGET ldap)
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo cairo)
pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
pkg_check_modules(GTK3 IMPORTED_TARGET gtk+-3.0)
pkg_check_modules(DUKTAPE IMPORTED_TARGET duktape)
# JSON for the native-messaging bridge (headers only).
find_package(nlohmann_json 3.10 QUIET)
# Tokens: libp11 over the PKCS#11 modules; p11-kit for the PKCS#11 constants
# and its proxy module, which serves every module p11-kit is configured with.
pkg_check_modules(LIBP11 REQUIRED IMPORTED_TARGET libp11)
pkg_check_modules(P11KIT REQUIRED p11-kit-1)
pkg_get_variable(P11KIT_PROXY_MODULE p11-kit-1 proxy_module)
add_library(p11kit_headers INTERFACE)
target_include_directories(p11kit_headers INTERFACE ${P11KIT_INCLUDE_DIRS})

find_library(B64_LIBRARY NAMES b64 REQUIRED)
add_library(b64 INTERFACE)
target_link_libraries(b64 INTERFACE ${B64_LIBRARY})

add_library(utf8cpp_iface INTERFACE)
target_include_directories(utf8cpp_iface INTERFACE /usr/include/utf8cpp)

# MuPDF ships as static, position-independent archives with its third-party
# code split out; the libraries it was built against come from their own packages.
find_library(MUPDF_LIBRARY NAMES libmupdf.a mupdf REQUIRED)
find_library(MUPDF_THIRD_LIBRARY NAMES libmupdf-third.a mupdf-third REQUIRED)
add_library(mupdf_all INTERFACE)
target_link_libraries(mupdf_all INTERFACE ${MUPDF_LIBRARY} ${MUPDF_THIRD_LIBRARY}
  mujs gumbo openjp2 jbig2dec jpeg freetype harfbuzz ZLIB::ZLIB m)
