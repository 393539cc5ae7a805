# Run by cpack after it has installed the programs into its staging directory: in the Debian
# package the programs go to /usr/games, Debian's place for games (an installation with
# `make install` keeps them in $PREFIX/bin).
file(GLOB staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/usr/bin"
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin")
if(NOT staged)
  message(FATAL_ERROR "no usr/bin in the staging directory ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(bin IN LISTS staged)
  get_filename_component(usr "${bin}" DIRECTORY)
  file(RENAME "${bin}" "${usr}/games")
endforeach()
