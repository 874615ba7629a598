# Checks of what is shipped: the manual page.  Included from the top-level
# CMakeLists.txt.

set(FERRIK_SHIPPING_DIR ${PROJECT_SOURCE_DIR}/tests)

add_test(NAME ManPage.RendersWithoutWarnings
         COMMAND bash ${FERRIK_SHIPPING_DIR}/man_page.sh warnings ${PROJECT_SOURCE_DIR})
add_test(NAME ManPage.NamesTheVersion
         COMMAND bash ${FERRIK_SHIPPING_DIR}/man_page.sh version ${PROJECT_SOURCE_DIR}
                 ${PROJECT_VERSION})
add_test(NAME ManPage.QuotesEveryMessage
         COMMAND bash ${FERRIK_SHIPPING_DIR}/man_page.sh messages ${PROJECT_SOURCE_DIR})
