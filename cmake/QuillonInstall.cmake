# Installation and the Debian package. Included at the end of the root CMakeLists.txt, after every
# folder has made its targets, so it can install whichever of the three programs this build has
# (a build without Qt has none of them, a cross-build of the plain libraries installs nothing).
#
#   cmake --install build/default --prefix /tmp/q     the programs, desktop entry, icons,
#                                                     AppStream metadata and manual pages
#   cpack --config build/default/CPackConfig.cmake    quillon-configurator_<version>_<arch>.deb
#
# The files installed besides the programs live in packaging/ (see its README.md).
include(GNUInstallDirs)

set(quillon_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(quillon_app_id org.quillon.configurator)
set(quillon_icon_sizes 16 32 48 64 128 256)

# What this build installs, relative to the prefix: the install check below compares it with
# what `cmake --install` really puts in place.
set(quillon_installed_files)

set(quillon_programs)
foreach(program quillon-configurator quillon quillon-sim)
  if(TARGET ${program})
    list(APPEND quillon_programs ${program})
    list(APPEND quillon_installed_files ${CMAKE_INSTALL_BINDIR}/${program})
  endif()
endforeach()
if(quillon_programs)
  install(TARGETS ${quillon_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The desktop program's entry in the application menus, its icon in every size the menus and
# docks ask for, and its AppStream metadata for software centres.
if(TARGET quillon-configurator)
  install(FILES ${quillon_packaging_dir}/quillon-configurator.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${quillon_packaging_dir}/${quillon_app_id}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  list(APPEND quillon_installed_files
       ${CMAKE_INSTALL_DATADIR}/applications/quillon-configurator.desktop
       ${CMAKE_INSTALL_DATADIR}/metainfo/${quillon_app_id}.metainfo.xml)
  foreach(size ${quillon_icon_sizes})
    set(dir ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    install(FILES ${quillon_packaging_dir}/icons/quillon-configurator-${size}.png
            DESTINATION ${dir} RENAME quillon-configurator.png)
    list(APPEND quillon_installed_files ${dir}/quillon-configurator.png)
  endforeach()
  set(dir ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${quillon_packaging_dir}/icons/quillon-configurator.svg DESTINATION ${dir})
  list(APPEND quillon_installed_files ${dir}/quillon-configurator.svg)
endif()

# Manual pages, one per installed program, compressed as Debian's policy asks (man reads
# both). They are compressed at build time so an edited page is picked up by the next build.
set(quillon_man_pages)
foreach(program ${quillon_programs})
  set(page ${program}.1)
  set(packed ${CMAKE_CURRENT_BINARY_DIR}/packaging/man/${page}.gz)
  add_custom_command(
    OUTPUT ${packed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging/man
    COMMAND ${CMAKE_COMMAND} -E chdir ${quillon_packaging_dir}/man
            ${CMAKE_COMMAND} -DPAGE=${page} -DOUTPUT=${packed}
            -P ${quillon_packaging_dir}/gzip-man-page.cmake
    DEPENDS ${quillon_packaging_dir}/man/${page} ${quillon_packaging_dir}/gzip-man-page.cmake
    COMMENT "Compressing the manual page ${page}"
    VERBATIM)
  list(APPEND quillon_man_pages ${packed})
  list(APPEND quillon_installed_files ${CMAKE_INSTALL_MANDIR}/man1/${page}.gz)
endforeach()
if(quillon_man_pages)
  add_custom_target(quillon_man_pages ALL DEPENDS ${quillon_man_pages})
  install(FILES ${quillon_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# Checks of the packaging (label integration): an install into a scratch prefix puts every file
# above in place, the installed programs run and the desktop entry and metadata hold together;
# every option a program's --help names is in
# its manual page; the versions in the pages and the metadata are the project's.
if(QUILLON_BUILD_TESTS AND quillon_programs)
  set(expected_list ${CMAKE_CURRENT_BINARY_DIR}/packaging/installed-files.txt)
  string(REPLACE ";" "\n" expected_text "${quillon_installed_files}")
  file(WRITE ${expected_list} "${expected_text}\n")
  # appstreamcli (package appstream) also validates the installed metadata when it is there.
  find_program(QUILLON_APPSTREAMCLI appstreamcli)
  mark_as_advanced(QUILLON_APPSTREAMCLI)
  set(appstream_arg)
  if(QUILLON_APPSTREAMCLI)
    set(appstream_arg -DAPPSTREAMCLI=${QUILLON_APPSTREAMCLI})
  endif()
  add_test(NAME packaging_install
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DCONFIG=$<CONFIG>
                   -DROOT=${CMAKE_CURRENT_BINARY_DIR}/packaging/install-check
                   -DEXPECTED=${expected_list} -DVERSION=${PROJECT_VERSION} ${appstream_arg}
                   -P ${quillon_packaging_dir}/check-install.cmake)
  set_tests_properties(packaging_install PROPERTIES LABELS integration TIMEOUT 120)

  set(program_args)
  foreach(program quillon quillon-sim)
    if(TARGET ${program})
      list(APPEND program_args "$<TARGET_FILE:${program}>")
    endif()
  endforeach()
  if(program_args)
    string(REPLACE ";" "|" program_args "${program_args}")
    add_test(NAME packaging_man_pages
             COMMAND ${CMAKE_COMMAND} "-DPROGRAMS=${program_args}"
                     -DMAN_DIR=${quillon_packaging_dir}/man -DVERSION=${PROJECT_VERSION}
                     -DMETAINFO=${quillon_packaging_dir}/${quillon_app_id}.metainfo.xml
                     -P ${quillon_packaging_dir}/check-man-pages.cmake)
    set_tests_properties(packaging_man_pages PROPERTIES LABELS integration TIMEOUT 60)
  endif()
endif()

# The Debian package. Its dependencies come from dpkg-shlibdeps when it is there (package
# dpkg-dev); without it they are the Qt 6 runtime packages the programs link, listed by hand.
# Either way the platform plugins are added: Qt loads them at run time, so no linked library
# names them.
set(QUILLON_PACKAGE_MAINTAINER "Quillon Configurator developers <packaging@quillon.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME quillon-configurator)
set(CPACK_PACKAGE_VENDOR "Quillon Configurator developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${QUILLON_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configures Quillon serial-to-network boxes")
set(CPACK_PACKAGE_DESCRIPTION
    "The Quillon is a small network box that buffers what arrives on its RS-232 port (usually
the call-detail records a telephone exchange prints) and hands it on over TCP/IP. This package
finds such boxes on the local network, reads and writes their configuration, fixes a box whose
network mode does not allow configuration, and emulates a telephone exchange on a serial port.
.
It contains the desktop program quillon-configurator, the command-line tool quillon for the
same jobs from a shell or a script, and quillon-sim, which simulates devices on loopback so
everything can be tried without hardware.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY quillon-configurator)

if(UNIX AND NOT APPLE)
  set(CPACK_GENERATOR DEB)
else()
  set(CPACK_GENERATOR ZIP)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QUILLON_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
find_program(QUILLON_DPKG_SHLIBDEPS dpkg-shlibdeps)
mark_as_advanced(QUILLON_DPKG_SHLIBDEPS)
if(QUILLON_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), \
libqt6network6 (>= 6.4), libqt6serialport6 (>= 6.4), qt6-qpa-plugins, libc6, libstdc++6")
endif()
include(CPack)
