# What is installed besides the program, and the Debian package built by
# CPack's DEB generator (`cpack --preset deb`, or `cmake --workflow --preset
# package` from a clean tree).  The package holds what `cmake --install`
# installs, under /usr: bin/ferrik, the manual page gzipped, and in
# share/doc/ferrik the copyright file (from LICENSE) and the changelog,
# gzipped, as a native Debian package has them.

# gzip -n leaves out the name and time stamp, so that the same input gives
# the same package.
find_program(FERRIK_GZIP gzip REQUIRED)
set(shipped ${PROJECT_BINARY_DIR}/shipped)
# Makes SHIPPED/NAME.gz from SOURCE.
function(ferrik_gzip source name)
  add_custom_command(OUTPUT ${shipped}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${shipped}/${name}
    COMMAND ${FERRIK_GZIP} -9nf ${shipped}/${name}
    DEPENDS ${source}
    VERBATIM)
endfunction()
ferrik_gzip(${PROJECT_SOURCE_DIR}/doc/ferrik.1 ferrik.1)
ferrik_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog changelog)
add_custom_command(OUTPUT ${shipped}/copyright
  COMMAND ${CMAKE_COMMAND} -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE
          -DOUTPUT=${shipped}/copyright -P ${PROJECT_SOURCE_DIR}/packaging/copyright.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/copyright.cmake
  VERBATIM)
add_custom_target(shipped_docs ALL
  DEPENDS ${shipped}/ferrik.1.gz ${shipped}/changelog.gz ${shipped}/copyright)

install(FILES ${shipped}/ferrik.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${shipped}/copyright ${shipped}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ferrik)
set(CPACK_PACKAGE_VENDOR "ferrik developers")
set(CPACK_PACKAGE_CONTACT "${FERRIK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "show the end of a file, or a file from a byte offset on, and follow it")
# Lines end in \n so that the control file keeps them under 80 columns.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "ferrik writes the last part of a file, or the file from a byte offset\n"
    "on, to standard output, byte for byte. With -f it keeps polling the\n"
    "file's size once a second and shows whatever is appended, which makes\n"
    "it a tool for watching the logs that other programs write. A file that\n"
    "shrinks is shown again from its start, and a log rotated by rename or\n"
    "delete is followed to the new file. It can also show UTF-16LE text in\n"
    "the locale's encoding.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FERRIK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# dpkg-shlibdeps (package dpkg-dev) works out the library dependencies, and
# CPack needs `file` to find the binaries to give it.  Without them the
# package names the libraries a C++ program built by g++ links against.
find_program(FERRIK_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(FERRIK_FILE file)
if(FERRIK_DPKG_SHLIBDEPS AND FERRIK_FILE)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()

include(CPack)
