# The Windows build's tests: the unit tests that stand on no Linux device,
# and the Win32 USB code through its system-call seam, cross-built with
# Debian's googletest sources. The Linux tree's ctest runs them under Wine
# (tests/wine/wine_tests.cmake).
set(FLASHKIT_GTEST_SOURCE /usr/src/googletest CACHE PATH "googletest's sources (Debian's googletest package)")
if(NOT EXISTS ${FLASHKIT_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "googletest's sources are not in ${FLASHKIT_GTEST_SOURCE}; run scripts/install-deps")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${FLASHKIT_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

add_library(flashkit_test_support STATIC
  support/boot_device.cpp support/fake_device_system.cpp support/fake_port.cpp
  support/fake_ring_port.cpp support/xfer_peer.cpp support/xfer_wire.cpp)
target_link_libraries(flashkit_test_support PUBLIC gtest gmock)
target_compile_definitions(flashkit_test_support PUBLIC FLASHKIT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# Tests that need a Linux pseudo-terminal, a namespace folder of sockets or
# a session folder stay on Linux.
set(linux_only
  engines/usb_download_fault_test.cpp engines/usb_download_wire_test.cpp engines/usb_frames_test.cpp)

foreach(folder common protocol ports console engines flashkit win32)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  foreach(skip ${linux_only})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${skip})
  endforeach()
  set(target tests_${folder})
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE flashkit_rack flashkit_test_support gtest_main)
endforeach()
