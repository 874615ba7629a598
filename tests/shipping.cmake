# Checks of what is shipped: the manual page, `cmake --install` and the
# Debian package.  Included from the top-level CMakeLists.txt.

set(FERRIK_SHIPPING_DIR ${PROJECT_SOURCE_DIR}/tests)

add_test(NAME ManPage.RendersWithoutWarnings
         COMMAND bash ${FERRIK_SHIPPING_DIR}/man_page.sh warnings ${PROJECT_SOURCE_DIR})
add_test(NAME ManPage.NamesTheVersion
         COMMAND bash ${FERRIK_SHIPPING_DIR}/man_page.sh version ${PROJECT_SOURCE_DIR}
                 ${PROJECT_VERSION})
add_test(NAME ManPage.QuotesEveryMessage
         COMMAND bash ${FERRIK_SHIPPING_DIR}/man_page.sh messages ${PROJECT_SOURCE_DIR})

add_test(NAME Install.IntoAPrefix
         COMMAND bash ${FERRIK_SHIPPING_DIR}/install.sh ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR}
                 ${PROJECT_SOURCE_DIR} ${PROJECT_VERSION}
                 ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_MANDIR} ${CMAKE_INSTALL_DOCDIR})

# dpkg-deb is part of every Debian system; elsewhere there is no package.
find_program(FERRIK_DPKG_DEB dpkg-deb)
if(FERRIK_DPKG_DEB)
  add_test(NAME Package.Deb
           COMMAND bash ${FERRIK_SHIPPING_DIR}/package.sh ${CMAKE_CPACK_COMMAND}
                   ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
  set_tests_properties(Package.Deb PROPERTIES TIMEOUT 120)
endif()
