# Removes the files an installation wrote, as its manifest lists them:
#   [DESTDIR=<dir>] cmake -DMANIFEST=<build directory>/install_manifest.txt -P cmake/Uninstall.cmake
# The manifest holds the paths below the prefix without DESTDIR, so an installation made with a
# DESTDIR is removed with the same DESTDIR. Directories are left in place.
if(NOT MANIFEST OR NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR
    "uninstall: no install manifest \"${MANIFEST}\"; nothing was installed from this build")
endif()
file(STRINGS "${MANIFEST}" installed)
foreach(path IN LISTS installed)
  set(file "$ENV{DESTDIR}${path}")
  if(EXISTS "${file}" OR IS_SYMLINK "${file}")
    message(STATUS "Removing ${file}")
    file(REMOVE "${file}")
    if(EXISTS "${file}" OR IS_SYMLINK "${file}")
      message(FATAL_ERROR "uninstall: cannot remove ${file}")
    endif()
  else()
    message(STATUS "Already gone: ${file}")
  endif()
endforeach()
