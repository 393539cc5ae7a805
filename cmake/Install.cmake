# Installation of the two programs and their manual pages, and `uninstall`.
include(GNUInstallDirs)

# `install` needs only the two programs, not the tests and benchmarks.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# Everything a user installs is the component "programs". The tests install that component
# alone, so they write install_manifest_programs.txt and leave install_manifest.txt to the last
# full installation, which `uninstall` reads.
install(TARGETS zentavor trabolix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
install(FILES docs/man/zentavor.6 docs/man/trabolix.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6
  COMPONENT programs)

# Removes what the last installation from this build directory wrote.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          -P ${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake
  VERBATIM)
