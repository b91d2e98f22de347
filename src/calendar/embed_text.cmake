# cmake -DINPUT=file -DOUTPUT=file.inc -P embed_text.cmake
# Writes the input's bytes as one C++ raw string literal, for #include inside an initializer.
file(READ "${INPUT}" _text)
set(_delimiter "korvex_embed")
string(FIND "${_text}" ")${_delimiter}\"" _clash)
if(NOT _clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw-string delimiter )${_delimiter}\"")
endif()
file(WRITE "${OUTPUT}.tmp" "R\"${_delimiter}(${_text})${_delimiter}\"\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
