# The libraries a source build takes from the system, each with the Debian package that provides
# it. All are looked for before anything else is configured, so that a machine lacking any of
# them learns at once, in one message, which packages to install.

set(_korvex_missing "")       # one line for each thing not found
set(_korvex_packages "")      # the packages to install

macro(_korvex_found variable what package)
  if(NOT ${variable})
    string(APPEND _korvex_missing "  ${what}: Debian package ${package}\n")
    list(APPEND _korvex_packages ${package})
  endif()
endmacro()

find_path(KORVEX_RAPIDJSON_INCLUDE_DIR rapidjson/reader.h)
_korvex_found(KORVEX_RAPIDJSON_INCLUDE_DIR "the RapidJSON headers (rapidjson/reader.h)" rapidjson-dev)
find_path(KORVEX_CCTZ_INCLUDE_DIR cctz/time_zone.h)
_korvex_found(KORVEX_CCTZ_INCLUDE_DIR "the cctz headers (cctz/time_zone.h)" libcctz-dev)
find_library(KORVEX_CCTZ_LIBRARY cctz)
_korvex_found(KORVEX_CCTZ_LIBRARY "the cctz library (libcctz)" libcctz-dev)
if(KORVEX_BUILD_TESTS)
  find_package(GTest)
  _korvex_found(GTest_FOUND "GoogleTest, for the C++ core tests" libgtest-dev)
endif()

if(_korvex_packages)
  list(REMOVE_DUPLICATES _korvex_packages)
  list(JOIN _korvex_packages " " _korvex_packages)
  message(FATAL_ERROR
    "korvex cannot be built from source here; not found:\n"
    "${_korvex_missing}"
    "Install what is missing with:\n"
    "  sudo apt-get install ${_korvex_packages}\n"
    "A source build needs rapidjson-dev and libcctz-dev, and libgtest-dev for the C++ core tests. "
    "The korvex wheel needs none of them.")
endif()
