# Time zone: the IANA database compiled in from the pinned tzdata package, looked up through
# cctz; and tenors.

# Fails here, with the generator's own message, when the interpreter lacks the pinned tzdata.
set(_korvex_zone_gen ${PROJECT_SOURCE_DIR}/tools/gen_zone_table.py)
# pyproject.toml pins the tzdata release.
set(_korvex_zone_gen_deps ${_korvex_zone_gen} ${PROJECT_SOURCE_DIR}/tools/tzif_expand.py
    ${PROJECT_SOURCE_DIR}/pyproject.toml)
execute_process(
  COMMAND ${Python_EXECUTABLE} ${_korvex_zone_gen} --locate
  OUTPUT_VARIABLE _korvex_tzdata_dir
  ERROR_VARIABLE _korvex_tzdata_error
  RESULT_VARIABLE _korvex_tzdata_rc
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT _korvex_tzdata_rc EQUAL 0)
  message(FATAL_ERROR "${_korvex_tzdata_error}")
endif()
message(STATUS "Zone table from ${_korvex_tzdata_dir}")

set(_korvex_zone_table ${CMAKE_CURRENT_BINARY_DIR}/zone_table_data.cpp)
add_custom_command(
  OUTPUT ${_korvex_zone_table}
  COMMAND ${Python_EXECUTABLE} ${_korvex_zone_gen} ${_korvex_zone_table}
  DEPENDS ${_korvex_zone_gen_deps} ${_korvex_tzdata_dir}/__init__.py ${_korvex_tzdata_dir}/zones
  COMMENT "Generating the compiled-in IANA zone table"
  VERBATIM)

target_sources(korvex_calendar PRIVATE
  ${_korvex_zone_table}
  ${CMAKE_CURRENT_SOURCE_DIR}/zone_table.hpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tz_database.hpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tz_database.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/utc_offset_table.hpp
  ${CMAKE_CURRENT_SOURCE_DIR}/utc_offset_table.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tenor.hpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tenor.cpp)

# KORVEX_CCTZ_*: found by cmake/system_packages.cmake.
# PUBLIC: TimeZone holds a cctz value, so every user of the library compiles and links it.
target_include_directories(korvex_calendar SYSTEM PUBLIC ${KORVEX_CCTZ_INCLUDE_DIR})
target_link_libraries(korvex_calendar PUBLIC ${KORVEX_CCTZ_LIBRARY})
