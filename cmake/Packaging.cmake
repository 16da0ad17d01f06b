# The Debian package that `cpack -G DEB` makes in the build folder: both programs, the menu entry,
# the icons and the metainfo, with dependencies computed from the binaries by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME folvane)
set(CPACK_PACKAGE_VENDOR "The Folvane developers")
set(CPACK_PACKAGE_CONTACT "The Folvane developers <maintainers@folvane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "join HTML pages into one RTF document")
set(CPACK_PACKAGE_DESCRIPTION
    "Folvane renders a list of HTML pages in a browser engine, copies each as rich text and\n"
    "appends them, in order, to one RTF document with their headings, fonts, colours, lists,\n"
    "tables, links and images. folvane-convert does the same from the command line.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://folvane.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
include(CPack)
