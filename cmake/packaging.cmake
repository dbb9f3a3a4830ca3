# Debian package of the program: `cpack -G DEB` in a build folder. The package's dependencies are
# read from the executable by dpkg-shlibdeps, never written down here.
set(QFS_PACKAGE_CONTACT "Quarb's File Splitter developers <file-splitter@quarb.invalid>" CACHE STRING
    "Maintainer of the Debian package, as \"Name <email>\"")

set(CPACK_PACKAGE_NAME quarb-file-splitter)
set(CPACK_PACKAGE_VENDOR "Quarb")
set(CPACK_PACKAGE_CONTACT "${QFS_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut a file into numbered pieces and join them back")
set(CPACK_PACKAGE_DESCRIPTION
"Quarb's File Splitter cuts a file into numbered pieces of a chosen size, or
into a chosen number of pieces, in a new folder beside the file, with a
checksum file that standard tools can check, and joins such a folder of pieces
back into the original file, byte for byte.
.
It comes as a small desktop tool with one window, quarb-splitter, and as a
command-line program, quarb, for scripts and remote shells.")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
