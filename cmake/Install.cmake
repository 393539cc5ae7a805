# Installation of the two programs and their manual pages, `uninstall`, and the Debian package
# made from the same installation (cpack in the build directory, or `make package`).
include(GNUInstallDirs)

# `install` and `package` need only the two programs, not the tests and benchmarks.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# Everything a user installs is the component "programs". The package and the tests install that
# component alone, so they write install_manifest_programs.txt and leave install_manifest.txt to
# the last full installation, which `uninstall` reads.
install(TARGETS zentavor trabolix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
# The manual pages are installed compressed (gzip -9n: best compression, no name or time stamp in
# the file, so the same source gives the same bytes), as man expects in a package. They are made
# when installing, so installing needs no build target besides the programs.
set(ZT_MAN_PAGES ${PROJECT_BINARY_DIR}/man/zentavor.6.gz ${PROJECT_BINARY_DIR}/man/trabolix.6.gz)
install(CODE "
  file(MAKE_DIRECTORY \"${PROJECT_BINARY_DIR}/man\")
  foreach(page zentavor trabolix)
    execute_process(COMMAND gzip -9n -c \"${PROJECT_SOURCE_DIR}/docs/man/\${page}.6\"
      OUTPUT_FILE \"${PROJECT_BINARY_DIR}/man/\${page}.6.gz\" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR \"gzip failed on the manual page \${page}.6\")
    endif()
  endforeach()" COMPONENT programs)
install(FILES ${ZT_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6 COMPONENT programs)
# A desktop menu entry for each program (run in a terminal: the keys come from there) and its
# icon, a wireframe sphere drawn by scripts/icon.
install(FILES data/zentavor.desktop data/trabolix.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT programs)
install(FILES data/zentavor.svg data/trabolix.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT programs)

# Removes what the last installation from this build directory wrote.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          -P ${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake
  VERBATIM)

set(CPACK_GENERATOR DEB)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};programs;/")
set(CPACK_PACKAGE_NAME zentavor-trabolix)
set(CPACK_PACKAGE_CONTACT "${ZT_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "wireframe spheres in a window: a planet simulation and a game")
set(CPACK_PACKAGE_DESCRIPTION
  "Two small programs that draw wireframe spheres in a graphics window of their own beside the
terminal they were started from. zentavor simulates three planets that attract each other;
trabolix is a keyboard game in which six spheres are to be found and shot.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The run-time libraries (SDL2, the C and C++ libraries) come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs in /usr/games, not /usr/bin.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageGames.cmake)
include(CPack)
