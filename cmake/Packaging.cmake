# The Debian package that `cpack -G DEB` makes in the build folder: both programs, the menu entry,
# the icons, the metainfo, the manual pages and the copyright and changelog, with dependencies
# computed from the binaries by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME folvane)
set(CPACK_PACKAGE_VENDOR "The Folvane developers")
set(CPACK_PACKAGE_CONTACT "${FOLVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "join HTML pages into one RTF document")
# One line of the description a list item; Debian shows them at most 80 columns wide.
set(CPACK_PACKAGE_DESCRIPTION
    "Folvane renders a list of HTML pages in a browser engine, copies each"
    "as rich text and appends them, in order, to one RTF document with their"
    "headings, fonts, colours, lists, tables, links and images."
    "folvane-convert does the same from the command line, without a display.")
list(JOIN CPACK_PACKAGE_DESCRIPTION "\n" CPACK_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_FOLVANE_OBJCOPY "${CMAKE_OBJCOPY}")
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageStrip.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FOLVANE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
include(CPack)
