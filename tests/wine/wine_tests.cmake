# The Windows build (make windows-test-build) run under Wine: its unit tests,
# and its programs against devsim and lrzsz with the Linux rigs. One Wine
# prefix serves the whole run; a fixture makes it first and removes it last.
set(FLASHKIT_WINDOWS_BIN "" CACHE PATH "The Windows build's programs and tests, e.g. build-windows-test/bin")
if(NOT FLASHKIT_WINDOWS_BIN)
  return()
endif()

set(wine_prefix ${CMAKE_BINARY_DIR}/wine-prefix)
add_test(NAME wine_prefix_make COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix make ${wine_prefix})
add_test(NAME wine_prefix_remove COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix remove ${wine_prefix})
set_tests_properties(wine_prefix_make PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
set_tests_properties(wine_prefix_remove PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
set(wine_environment "WINEPREFIX=${wine_prefix}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=")

# Rows that name ports by Linux paths (/dev/ttyUSB0): on Windows a port's
# path is a device name (\\.\COM12), which the Wine end-to-end rows use.
set(wine_unit_skips_console "Rows/OptionTable.FillsTheSettings/port_by_path:Rows/OptionTable.FillsTheSettings/a_later_*")
set(wine_unit_skips_flashkit "Flashkit/AcceptedLine.NamesThePortsInOrder/ValueAttachedSeparateOrAfterEquals")
foreach(folder common protocol ports console engines flashkit win32)
  set(filter "")
  if(wine_unit_skips_${folder})
    set(filter "--gtest_filter=-${wine_unit_skips_${folder}}")
  endif()
  add_test(NAME wine_unit_${folder}
           COMMAND wine ${FLASHKIT_WINDOWS_BIN}/tests_${folder}.exe --gtest_brief=1 ${filter})
  set_tests_properties(wine_unit_${folder} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120
                       ENVIRONMENT "${wine_environment}")
endforeach()

file(GLOB wine_e2e_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/wine/*.cpp)
add_executable(tests_wine ${wine_e2e_sources})
target_link_libraries(tests_wine PRIVATE flashkit_test_support GTest::gtest_main)
add_dependencies(tests_wine devsim)
# The rig gives Wine's children the prefix itself.
target_compile_definitions(tests_wine PRIVATE FLASHKIT_WINDOWS_BIN="${FLASHKIT_WINDOWS_BIN}"
                           FLASHKIT_WINE_PREFIX="${wine_prefix}")
set(lsan "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/lsan.supp")
# The bootloader rows keep flashpanel's reply limits: away from the busy entries.
gtest_discover_tests(tests_wine DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES TEST_FILTER "-WineRack.Bootloader*"
  PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 170 ENVIRONMENT "${lsan}")
add_test(NAME wine_mcu COMMAND tests_wine --gtest_brief=1 "--gtest_filter=WineRack.Bootloader*")
set_tests_properties(wine_mcu PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 170 RESOURCE_LOCK busy_cores
  ENVIRONMENT "${lsan}")
