# Installing (cmake --install, make install) and the Debian package (make package).
#
# The executables look for the edition's files (branding file, icon.ico, sounds/) in their
# own folder, which they find through /proc/self/exe: that names the real file, whatever
# link it was started through. So the executables and the edition's files are installed
# together in <prefix>/lib/wizconv/, and <prefix>/bin holds relative symbolic links to the
# two executables. The menu entry, the icon theme's icons and the AppStream metadata go
# to <prefix>/share the freedesktop way.

set(WIZCONV_INSTALL_PROGRAM_DIR lib/wizconv CACHE STRING
    "Where the executables and the edition's files are installed, below the prefix")

# wizconv-cli-all holds the commands that wizconv-cli hands over; it is found beside it.
install(TARGETS wizconv wizconv-cli wizconv-cli-all RUNTIME DESTINATION ${WIZCONV_INSTALL_PROGRAM_DIR})
install(FILES ${WIZCONV_RUNTIME_DIR}/dudozava.dll ${WIZCONV_RUNTIME_DIR}/icon.ico
        DESTINATION ${WIZCONV_INSTALL_PROGRAM_DIR})
install(DIRECTORY ${WIZCONV_RUNTIME_DIR}/sounds DESTINATION ${WIZCONV_INSTALL_PROGRAM_DIR})

# The links in bin/, relative, so that the tree can be moved (DESTDIR, the package).
file(RELATIVE_PATH link_target ${CMAKE_INSTALL_PREFIX}/bin
     ${CMAKE_INSTALL_PREFIX}/${WIZCONV_INSTALL_PROGRAM_DIR})
set(links_dir ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${links_dir})
foreach(program wizconv wizconv-cli)
  file(CREATE_LINK ${link_target}/${program} ${links_dir}/${program} SYMBOLIC)
  install(FILES ${links_dir}/${program} DESTINATION bin)
endforeach()

install(FILES ${WIZCONV_DESKTOP_DIR}/${WIZCONV_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${WIZCONV_DESKTOP_DIR}/${WIZCONV_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(DIRECTORY ${WIZCONV_DESKTOP_DIR}/icons/hicolor DESTINATION share/icons)

# The Debian package: build/wizconv_<version>_amd64.deb, installed below /usr, its
# Depends computed from the executables' shared libraries by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wizconv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_PACKAGE_CONTACT "Wizconv developers <developers@wizconv.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "media converter with a built-in video downloader")
set(CPACK_PACKAGE_DESCRIPTION
    "Converts audio and video files in one batch to a chosen format and quality preset\n\
through a step-by-step wizard, joins files, and downloads videos from video pages.\n\
Includes wizconv-cli, the same workflows on the command line.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.wizconv.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not found by shlibdeps: the Chinese font the windows are drawn with.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei")
set(CPACK_STRIP_FILES ON)
include(CPack)
