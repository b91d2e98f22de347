# Calendar documents, the embedded calendar and business time.

# The committed document is the one source of truth: it is turned into a raw string literal at
# build time, so the library always carries exactly its bytes.
set(_korvex_calendar_json ${CMAKE_CURRENT_SOURCE_DIR}/embedded_calendar.json)
set(_korvex_calendar_inc_dir ${CMAKE_CURRENT_BINARY_DIR}/embedded)
set(_korvex_calendar_inc ${_korvex_calendar_inc_dir}/embedded_calendar_json.inc)
add_custom_command(
  OUTPUT ${_korvex_calendar_inc}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_korvex_calendar_inc_dir}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${_korvex_calendar_json} -DOUTPUT=${_korvex_calendar_inc}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/embed_text.cmake
  DEPENDS ${_korvex_calendar_json} ${CMAKE_CURRENT_SOURCE_DIR}/embed_text.cmake
  COMMENT "Embedding the BTCUSDT calendar document"
  VERBATIM)
set_source_files_properties(${_korvex_calendar_inc} PROPERTIES HEADER_FILE_ONLY ON)

target_sources(korvex_calendar PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/decimal_literal.hpp
  ${CMAKE_CURRENT_SOURCE_DIR}/decimal_literal.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/json_number.hpp
  ${CMAKE_CURRENT_SOURCE_DIR}/json_number.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/calendar_json.hpp
  ${CMAKE_CURRENT_SOURCE_DIR}/calendar_json.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/bucket_key.hpp
  ${CMAKE_CURRENT_SOURCE_DIR}/bucket_key.cpp
  ${_korvex_calendar_inc}
  ${CMAKE_CURRENT_SOURCE_DIR}/embedded_calendar.hpp
  ${CMAKE_CURRENT_SOURCE_DIR}/embedded_calendar.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/year_weight_cache.hpp
  ${CMAKE_CURRENT_SOURCE_DIR}/year_weights.hpp
  ${CMAKE_CURRENT_SOURCE_DIR}/year_weights.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/calendar.hpp
  ${CMAKE_CURRENT_SOURCE_DIR}/calendar.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/registry.hpp
  ${CMAKE_CURRENT_SOURCE_DIR}/registry.cpp)
target_include_directories(korvex_calendar PRIVATE ${_korvex_calendar_inc_dir})

# KORVEX_RAPIDJSON_INCLUDE_DIR: found by cmake/system_packages.cmake.
target_include_directories(korvex_calendar SYSTEM PRIVATE ${KORVEX_RAPIDJSON_INCLUDE_DIR})
