# Third-party libraries, all from the distribution's packages. Each is exposed
# as an imported target so that the subsystems link them by name.
if(WIN32)
  # The Windows programs link everything statically: no DLL of ours may have
  # to travel beside them.
  set(ZLIB_USE_STATIC_LIBS ON)
  set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
endif()
find_package(ZLIB REQUIRED)
find_package(PkgConfig REQUIRED)

pkg_check_modules(PCRE REQUIRED IMPORTED_TARGET libpcre)

if(WIN32)
  add_library(slv2::zlib ALIAS ZLIB::ZLIB)
  add_library(slv2::pcre ALIAS PkgConfig::PCRE)
else()
  find_package(SQLite3 REQUIRED)
  # A program whose property SLV2_STATIC is on links the archive of each of
  # these libraries instead of the shared one, so that it can be linked
  # wholly static (slv2pack, see tools/CMakeLists.txt).
  function(slv2_static_choice name shared archive)
    find_library(SLV2_${name}_ARCHIVE ${archive} REQUIRED)
    add_library(slv2::${name} INTERFACE IMPORTED)
    target_link_libraries(slv2::${name} INTERFACE
      "$<IF:$<BOOL:$<TARGET_PROPERTY:SLV2_STATIC>>,${SLV2_${name}_ARCHIVE},${shared}>")
  endfunction()
  slv2_static_choice(zlib ZLIB::ZLIB libz.a)
  slv2_static_choice(pcre PkgConfig::PCRE libpcre.a)
  slv2_static_choice(sqlite SQLite::SQLite3 libsqlite3.a)
  pkg_check_modules(LIBACL REQUIRED IMPORTED_TARGET libacl)
  add_library(slv2::acl ALIAS PkgConfig::LIBACL)
  # The main window (Qt Widgets) and the X11 query for the shell's window.
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
  pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)
  add_library(slv2::xcb ALIAS PkgConfig::XCB)
endif()

find_package(Threads REQUIRED)

# nlohmann/json writes the run's report. Header-only: the Windows build takes
# the same headers, copied into its prefix by scripts/windows-deps.
find_path(SLV2_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp REQUIRED)
add_library(slv2::json INTERFACE IMPORTED)
target_include_directories(slv2::json SYSTEM INTERFACE ${SLV2_NLOHMANN_JSON_INCLUDE})
