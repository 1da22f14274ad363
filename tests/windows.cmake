# The tests that run as Windows programs (under Wine when cross-built, through
# CMAKE_CROSSCOMPILING_EMULATOR): those that need no pseudo-terminal, the serial device's test,
# which talks to a simulated target that scripts/test-windows puts behind COM1, and the device
# loss test, whose target behind COM5 hangs up in the middle of a download, and the network
# port's test, against a peer of its own on 127.0.0.1.
set(WINDOWS_CORE_TESTS test_hextext test_hexfile test_network_windows)
set(WINDOWS_GUI_TESTS test_gauge test_window test_settings_windows test_serial_windows
    test_device_loss_windows)
add_library(testsupport STATIC support/HexFiles.cpp support/StartedWindow.cpp
    support/StatusHistory.cpp support/PumpWatch.cpp support/PortEndings.cpp)
target_include_directories(testsupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR})
target_link_libraries(testsupport PUBLIC dwnldwindow Qt6::Test)
# The test programs' own build of app/ProgramPlaceWindows.cpp, linked into each before the library
# (whose copy is then left out): the installer's record is a key of the tests' own under
# HKEY_CURRENT_USER, so that a test run neither sees nor changes an installed program's key, and
# needs no administrator.
add_library(testinstallrecord OBJECT ${CMAKE_SOURCE_DIR}/app/ProgramPlaceWindows.cpp)
target_link_libraries(testinstallrecord PUBLIC dwnldcore)
dwnld_install_record(testinstallrecord PUBLIC "HKEY_CURRENT_USER\\Software\\${DWNLD_PRODUCT} tests")

foreach(name ${WINDOWS_CORE_TESTS} ${WINDOWS_GUI_TESTS})
    add_executable(${name} ${name}.cpp)
    target_link_libraries(${name} PRIVATE testinstallrecord testsupport)
    set(platform)
    if(name IN_LIST WINDOWS_GUI_TESTS)
        # Wine hands the program no QT_* variable: the platform is chosen on the command line.
        set(platform -platform offscreen)
    endif()
    add_test(NAME ${name} COMMAND ${name} ${platform})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endforeach()
# Only with the simulated targets on COM1 and COM5.
set_tests_properties(test_serial_windows PROPERTIES LABELS com1)
set_tests_properties(test_device_loss_windows PROPERTIES LABELS com5)
