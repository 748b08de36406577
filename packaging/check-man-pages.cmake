# Checks the hand-written manual pages against the programs: every option that a program's
# --help names (and, for quillon, every command and every option of each command's --help)
# appears in the program's page; each page and the AppStream metadata carry VERSION.
#   cmake "-DPROGRAMS=/path/quillon|/path/quillon-sim" -DMAN_DIR=... -DVERSION=...
#         -DMETAINFO=... -P check-man-pages.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var PROGRAMS MAN_DIR VERSION METAINFO)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check-man-pages: ${var} is not set")
  endif()
endforeach()
string(REPLACE "|" ";" PROGRAMS "${PROGRAMS}")

# Runs PROGRAM with ARGN and leaves its standard output in OUT; a failure stops the check.
function(help_text out program)
  execute_process(COMMAND ${program} ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE text
                  ERROR_VARIABLE errors TIMEOUT 30)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${program} ${ARGN} failed (${result}): ${errors}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Reads a manual page as plain text: roff's escaped hyphens become hyphens and font changes go.
function(page_text out page)
  file(READ ${page} text)
  string(REPLACE "\\-" "-" text "${text}")
  string(REGEX REPLACE "\\\\f[BIRP]" "" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(problems)
foreach(program ${PROGRAMS})
  get_filename_component(name ${program} NAME_WE)
  set(page ${MAN_DIR}/${name}.1)
  if(NOT EXISTS ${page})
    list(APPEND problems "${name}: no manual page ${page}")
    continue()
  endif()
  page_text(man ${page})
  if(NOT man MATCHES "\n\\.TH [^\n]*${VERSION}")
    list(APPEND problems "${name}.1: the .TH line does not name version ${VERSION}")
  endif()

  help_text(help ${program} --help)
  set(helps "${help}")
  # quillon lists its commands under "Commands:", two spaces in; each has a help of its own
  # and a section of its own in the page.
  string(REGEX MATCH "\nCommands:\n(  [a-z]+ [^\n]*\n)+" commands "${help}")
  string(REGEX MATCHALL "\n  [a-z]+ " commands "${commands}")
  foreach(command ${commands})
    string(STRIP "${command}" command)
    if(NOT man MATCHES "\n\\.SS \"?${command}[\" \n]")
      list(APPEND problems "${name}.1: no section for the command ${command}")
    endif()
    help_text(command_help ${program} ${command} --help)
    string(APPEND helps "\n${command_help}")
  endforeach()

  string(REGEX MATCHALL "--[a-z0-9][a-z0-9-]*" options "${helps}")
  list(REMOVE_DUPLICATES options)
  foreach(option ${options})
    if(NOT man MATCHES "${option}([^a-z0-9-]|$)")
      list(APPEND problems "${name}.1: the option ${option} from --help is missing")
    endif()
  endforeach()
  list(LENGTH options count)
  message(STATUS "${name}: ${count} options of --help checked against ${name}.1")
endforeach()

file(READ ${METAINFO} metainfo)
if(NOT metainfo MATCHES "<release version=\"${VERSION}\"")
  list(APPEND problems "${METAINFO}: no <release version=\"${VERSION}\">")
endif()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "manual pages:\n  ${text}")
endif()
