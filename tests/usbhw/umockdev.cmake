# The USB hardware tests run libusb and libudev against umockdev: its preload
# library stands in for /sys, /dev, udev's events and the kernel's usbfs
# calls, and the test program itself answers them as the device. AddressSanitizer's runtime has
# to come first among preloaded libraries.
if(TARGET tests_usbhw)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(UMOCKDEV REQUIRED IMPORTED_TARGET umockdev-1.0)
  target_link_libraries(tests_usbhw PRIVATE PkgConfig::UMOCKDEV)
  set(usbhw_preload libumockdev-preload.so.0)
  if(FLASHKIT_SANITIZE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                    OUTPUT_VARIABLE usbhw_asan OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(usbhw_preload "${usbhw_asan}:${usbhw_preload}")
  endif()
  # A test stops linkxfer on a line whose ioctls it answers.
  if(TARGET linkxfer)
    add_dependencies(tests_usbhw linkxfer)
  endif()
  set_tests_properties(tests_usbhw PROPERTIES TIMEOUT 60 ENVIRONMENT
    "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/lsan.supp;LD_PRELOAD=${usbhw_preload}")
endif()
