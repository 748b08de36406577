# Installs a build into a scratch tree (prefix ROOT/usr, as a package lays it out) and checks the
# result: every file listed in EXPECTED (paths relative to the prefix, one a line) is there, and
# no other file is; the installed command-line programs run and report VERSION; the desktop
# entry starts an installed program and names an installed icon; and, when APPSTREAMCLI is
# given, appstreamcli finds the tree's metadata valid and its desktop entry in place.
#   cmake -DBUILD_DIR=... -DCONFIG=... -DROOT=... -DEXPECTED=... -DVERSION=...
#         [-DAPPSTREAMCLI=...] -P check-install.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var BUILD_DIR ROOT EXPECTED VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check-install: ${var} is not set")
  endif()
endforeach()

set(PREFIX ${ROOT}/usr)
file(REMOVE_RECURSE ${ROOT})
set(config_args)
if(CONFIG)
  set(config_args --config ${CONFIG})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} ${config_args}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

file(STRINGS ${EXPECTED} expected)
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${PREFIX} ${PREFIX}/*)
set(problems)
foreach(path ${expected})
  if(NOT EXISTS ${PREFIX}/${path})
    list(APPEND problems "missing: ${path}")
  elseif(IS_DIRECTORY ${PREFIX}/${path})
    list(APPEND problems "a folder, not a file: ${path}")
  else()
    file(SIZE ${PREFIX}/${path} size)
    if(size EQUAL 0)
      list(APPEND problems "empty: ${path}")
    endif()
  endif()
endforeach()
foreach(path ${installed})
  if(NOT path IN_LIST expected)
    list(APPEND problems "installed but not expected: ${path}")
  endif()
endforeach()

# The installed programs must run from the prefix, with no help from the build tree.
foreach(path ${expected})
  get_filename_component(name ${path} NAME)
  if(name STREQUAL "quillon" OR name STREQUAL "quillon-sim")
    execute_process(COMMAND ${PREFIX}/${path} --version RESULT_VARIABLE result
                    OUTPUT_VARIABLE output ERROR_VARIABLE output TIMEOUT 30)
    if(NOT result EQUAL 0 OR NOT output MATCHES "^${name} ${VERSION}")
      list(APPEND problems "${path} --version gave (${result}): ${output}")
    endif()
  endif()
endforeach()

# The menu entry must start a program of the package and show an icon of the package.
foreach(path ${expected})
  if(path MATCHES "\\.desktop$")
    file(STRINGS ${PREFIX}/${path} exec REGEX "^Exec=")
    file(STRINGS ${PREFIX}/${path} icon REGEX "^Icon=")
    string(REGEX REPLACE "^Exec=([^ ]*).*" "\\1" exec "${exec}")
    string(REGEX REPLACE "^Icon=" "" icon "${icon}")
    if(NOT exec OR NOT EXISTS ${PREFIX}/bin/${exec})
      list(APPEND problems "${path}: Exec names '${exec}', not an installed program")
    endif()
    file(GLOB icons ${PREFIX}/share/icons/hicolor/*/apps/${icon}.*)
    if(NOT icon OR NOT icons)
      list(APPEND problems "${path}: Icon names '${icon}', not an installed icon")
    endif()
  endif()
endforeach()

if(APPSTREAMCLI)
  execute_process(COMMAND ${APPSTREAMCLI} validate-tree --no-net ${ROOT}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output TIMEOUT 60)
  if(NOT result EQUAL 0)
    list(APPEND problems "appstreamcli validate-tree (${result}): ${output}")
  endif()
else()
  message(STATUS "install: appstreamcli not found, the metadata is not validated")
endif()

list(LENGTH expected count)
if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "install into ${PREFIX}:\n  ${text}")
endif()
file(REMOVE_RECURSE ${ROOT})
message(STATUS "install: all ${count} files in place, the installed programs report ${VERSION}")
