# The end-to-end suite once more, natively built, against the cross-built
# ferrik.exe under Wine: the program's messages end in CR LF, the file's
# bytes still go out as they are.  Windows-only cases (a Windows writer,
# double-byte names) join the suite here.

find_program(FERRIK_WINE wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(FERRIK_WINESERVER wineserver64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(FERRIK_LOCALEDEF localedef)
find_program(FERRIK_MINGW_CXX x86_64-w64-mingw32-g++-posix)
foreach(tool FERRIK_WINE FERRIK_WINESERVER FERRIK_LOCALEDEF FERRIK_MINGW_CXX)
  if(NOT ${tool})
    message(FATAL_ERROR "The Wine tests need ${tool}; setup/install-packages.sh test "
                        "installs it")
  endif()
endforeach()

# ferrik.exe and the writer are cross-built by the windows-exe preset, so
# that the tested program is built as the README's command builds it, in a
# tree of this build's own: windows-exe under this build directory.
include(ExternalProject)
set(windows_dir ${CMAKE_BINARY_DIR}/windows-exe)
ExternalProject_Add(windows_exe
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${windows_dir}
  CONFIGURE_COMMAND ${CMAKE_COMMAND} --preset windows-exe -S <SOURCE_DIR> -B <BINARY_DIR>
                    -DFERRIK_WERROR=${FERRIK_WERROR}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR>
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${windows_dir}/ferrik.exe ${windows_dir}/win_writer.exe
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD ON)

target_sources(e2e_tests PRIVATE e2e_windows_test.cpp)

# A prefix of its own keeps the runs apart from any user's Wine setup.
# Mono, Gecko and the menu builder are never needed and only slow the first
# start.  C.UTF-8 fixes how Wine reads the command line and file names, and
# with it the ANSI code page (1252), whatever the caller's locale.
set(wine_prefix ${CMAKE_BINARY_DIR}/wine-prefix)
set(wine_env
  WINEPREFIX=${wine_prefix}
  WINEDEBUG=-all
  "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=d"
  LC_ALL=C.UTF-8)
set(ferrik_env ${wine_env}
  FERRIK_RUNNER=${FERRIK_WINE}
  FERRIK_UNDER_TEST=${windows_dir}/ferrik.exe
  FERRIK_WIN_WRITER=${windows_dir}/win_writer.exe
  FERRIK_LINE_END=crlf
  FERRIK_JA_LOCPATH=${CMAKE_BINARY_DIR}/locale)

# One Wine session for the whole run: the server is started first, kept
# while the tests run, and ended after them.  Each test's own start of Wine
# then takes a fraction of a second, and no server or service started on
# the way holds a test's output pipes open.
add_test(NAME wine.start
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine-session.sh start
          ${FERRIK_WINESERVER} ${FERRIK_WINE})
set_tests_properties(wine.start PROPERTIES
  FIXTURES_SETUP wine ENVIRONMENT "${wine_env}" TIMEOUT 600)
add_test(NAME wine.stop
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine-session.sh stop ${FERRIK_WINESERVER})
set_tests_properties(wine.stop PROPERTIES
  FIXTURES_CLEANUP wine ENVIRONMENT "${wine_env}" TIMEOUT 60)

# The Japanese locale that makes Wine use code page 932, compiled into the
# build tree: nothing is installed on the machine.
add_test(NAME wine.locale
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine-session.sh locale ${CMAKE_BINARY_DIR}/locale)
set_tests_properties(wine.locale PROPERTIES FIXTURES_SETUP wine)

# gtest_discover_tests would split the environment list at its semicolons,
# so each discovered test gets it through `env` as the executor.
set_property(TARGET e2e_tests PROPERTY CROSSCOMPILING_EMULATOR env ${ferrik_env})
gtest_discover_tests(e2e_tests TEST_PREFIX wine.
  PROPERTIES TIMEOUT 180 FIXTURES_REQUIRED wine)
