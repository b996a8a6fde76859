# The fixtures and helpers the test programs share, each built once: scratch
# folders, whole files and programs run as a user runs them; the prepared
# engine and the task set up as the component sets tasks up; the component's
# task helpers and event recorder; the window with its dialogs recorded.
add_library(tovrela_test_files STATIC
  ${CMAKE_CURRENT_LIST_DIR}/TestFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CommandRun.cpp
)
target_include_directories(tovrela_test_files PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tovrela_test_files PUBLIC GTest::gtest)

add_library(tovrela_test_engine STATIC ${CMAKE_CURRENT_LIST_DIR}/TranscodeTask.cpp)
target_link_libraries(tovrela_test_engine PUBLIC tovrela_engine tovrela_test_media tovrela_test_files)

add_library(tovrela_test_component STATIC ${CMAKE_CURRENT_LIST_DIR}/ComponentTestSupport.cpp)
target_link_libraries(tovrela_test_component PUBLIC tovrela_test_conversion tovrela_test_engine)

find_package(Qt6 REQUIRED COMPONENTS Test)
add_library(tovrela_test_window STATIC ${CMAKE_CURRENT_LIST_DIR}/WindowTestSupport.cpp)
target_link_libraries(tovrela_test_window PUBLIC tovrela_window tovrela_test_media Qt6::Test)

add_library(tovrela_test_ipod STATIC ${CMAKE_CURRENT_LIST_DIR}/IpodTestSupport.cpp)
target_link_libraries(tovrela_test_ipod PUBLIC tovrela_ipod)
