# quillon_warnings(target): the project's warning set, as errors when QUILLON_WERROR is on.
# MSVC (a Qt kit on Windows) gets its own level 4, the nearest to that set.
function(quillon_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
    if(QUILLON_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
    return()
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion)
  if(QUILLON_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# quillon_library(name alias SOURCES ...): a static library of one folder with its alias
# (quillon::name), the folder itself as public include directory and the warning set.
function(quillon_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  add_library(quillon_${name} STATIC ${ARG_SOURCES})
  add_library(quillon::${name} ALIAS quillon_${name})
  target_include_directories(quillon_${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  quillon_warnings(quillon_${name})
endfunction()
