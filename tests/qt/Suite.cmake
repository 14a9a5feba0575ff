# The desktop dialogs' suite (included by tests/CMakeLists.txt when the Qt
# backend is built). Its own main makes the QApplication; the same binary
# runs with the offscreen platform, on a virtual X server it starts itself,
# and without a QApplication for the backend that makes its own.
find_package(Qt6 6 REQUIRED COMPONENTS Test)
add_executable(test_qt ${sources})
target_link_libraries(test_qt PRIVATE kwinet_qt kwinet_web kwinet_design kwinet_ui kwinet_test_support Qt6::Test GTest::gtest)
target_compile_options(test_qt PRIVATE ${KWINET_WARNINGS})
target_compile_definitions(test_qt PRIVATE KWINET_QT_SHOT_DIR="${CMAKE_BINARY_DIR}/tests/qt-dialogs")
add_test(NAME qt-offscreen COMMAND test_qt --gtest_color=no --gtest_filter=-QtOwnApplication.*)
set_tests_properties(qt-offscreen PROPERTIES TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
add_test(NAME qt-xcb COMMAND test_qt --gtest_color=no --gtest_filter=-QtOwnApplication.*)
set_tests_properties(qt-xcb PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77 ENVIRONMENT
  "KWINET_QT_XVFB=1;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/qt/lsan.supp")
add_test(NAME qt-own-application COMMAND test_qt --gtest_color=no --own-application --gtest_filter=QtOwnApplication.*)
set_tests_properties(qt-own-application PROPERTIES TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
