# Compiler settings shared by every target of the project.

add_library(hovane_options INTERFACE)
target_compile_options(hovane_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
  -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
if(HOVANE_WERROR)
  target_compile_options(hovane_options INTERFACE -Werror)
endif()
if(HOVANE_SANITIZE)
  target_compile_options(hovane_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(hovane_options INTERFACE -fsanitize=address,undefined)
endif()
target_include_directories(hovane_options INTERFACE ${PROJECT_SOURCE_DIR}/src)

# hovane_library(NAME [SHARED] SOURCES ... LIBS ...)
function(hovane_library name)
  cmake_parse_arguments(ARG "SHARED" "" "SOURCES;LIBS" ${ARGN})
  if(ARG_SHARED)
    add_library(${name} SHARED ${ARG_SOURCES})
  else()
    add_library(${name} STATIC ${ARG_SOURCES})
  endif()
  target_link_libraries(${name} PUBLIC hovane_options ${ARG_LIBS})
endfunction()
