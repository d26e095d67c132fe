# One interface target carries the language standard, warnings and sanitizers.
add_library(pebblewick_options INTERFACE)
target_compile_features(pebblewick_options INTERFACE cxx_std_20)
target_compile_options(pebblewick_options INTERFACE
  -Wall -Wextra -pedantic -Wold-style-cast -Wnon-virtual-dtor -Wshadow)
target_compile_definitions(pebblewick_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING)
if(PEBBLEWICK_WERROR)
  target_compile_options(pebblewick_options INTERFACE -Werror)
endif()

if(PEBBLEWICK_SANITIZE STREQUAL "address")
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(PEBBLEWICK_SANITIZE STREQUAL "thread")
  set(_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT PEBBLEWICK_SANITIZE STREQUAL "")
  message(FATAL_ERROR "PEBBLEWICK_SANITIZE must be empty, 'address' or 'thread'")
endif()
if(_san)
  target_compile_options(pebblewick_options INTERFACE ${_san})
  target_link_options(pebblewick_options INTERFACE ${_san})
endif()
