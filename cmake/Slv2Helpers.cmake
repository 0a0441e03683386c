# Helpers that keep each folder's build description to one line per target.
# Sources are collected by glob (with CONFIGURE_DEPENDS) so that adding a file
# to a subsystem never needs an edit of a shared list; platform twins are
# picked by suffix: *_posix.cpp on POSIX, *_win32.cpp on Windows.

function(slv2_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
      -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual -Wimplicit-fallthrough)
  endif()
  if(SLV2_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# slv2_collect_sources(<out-var> <dir>...) : *.cpp of the folders, minus the
# other platform's twins.
function(slv2_collect_sources out)
  set(result)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp)
    list(APPEND result ${found})
  endforeach()
  if(WIN32)
    list(FILTER result EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER result EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# slv2_library(<name> DIRS <dir>... [DEPS <target>...])
function(slv2_library name)
  cmake_parse_arguments(ARG "" "" "DIRS;DEPS" ${ARGN})
  slv2_collect_sources(sources ${ARG_DIRS})
  if(NOT sources)
    # A subsystem that has no sources yet still gives its dependants a name.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  slv2_warnings(${name})
endfunction()

# slv2_program(<name> DIRS <dir>... [DEPS <target>...])
function(slv2_program name)
  cmake_parse_arguments(ARG "" "" "DIRS;DEPS" ${ARGN})
  slv2_collect_sources(sources ${ARG_DIRS})
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  slv2_warnings(${name})
endfunction()
