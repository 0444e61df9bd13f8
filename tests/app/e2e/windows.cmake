# The end-to-end run of kestrin.exe under Wine: the program built once more as kestrin_e2e.exe
# with its notice page on a local port, a program that tells where Wine puts a window's client
# area, and the Linux driver that clicks and types (KESTRIN_WINE_DRIVER, from a Linux build).

kestrin_free_port(KESTRIN_WINE_E2E_NOTICE_PORT "Local port of kestrin_e2e.exe's notice page")

# The notice module once more with the local address; its objects go straight into the program,
# so the linker never takes the members of kestrin_notice that the program's libraries name.
file(GLOB _notice_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/notice/*.cpp ${PROJECT_SOURCE_DIR}/notice/windows/*.cpp)
add_library(kestrin_notice_e2e OBJECT ${_notice_sources})
target_link_libraries(kestrin_notice_e2e PUBLIC kestrin_links)
target_include_directories(kestrin_notice_e2e PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(kestrin_notice_e2e PRIVATE
                           KESTRIN_NOTICE_URL="http://127.0.0.1:${KESTRIN_WINE_E2E_NOTICE_PORT}/notice.html")
get_target_property(_resources kestrin SOURCES)
list(FILTER _resources INCLUDE REGEX "\\.rc$")
add_executable(kestrin_e2e ${PROJECT_SOURCE_DIR}/app/main.cpp ${_resources})
target_link_libraries(kestrin_e2e PRIVATE kestrin_notice_e2e kestrin_app)
set_target_properties(kestrin_e2e PROPERTIES WIN32_EXECUTABLE ON)

add_executable(kestrin_frame_metrics windows/frame_metrics.cpp)
target_link_libraries(kestrin_frame_metrics PRIVATE kestrin_ui)
kestrin_common_controls(kestrin_frame_metrics)

set(KESTRIN_WINE_DRIVER "" CACHE FILEPATH
    "kestrin_wine_e2e_test of a Linux build: runs kestrin_e2e.exe under the Wine session (scripts/test.sh sets it)")
if(KESTRIN_WINE_DRIVER)
  # A wininet.dll of the tests' own lies beside the program, which must never load it.
  add_dependencies(kestrin_e2e kestrin_planted_library)
  set(_driver ${KESTRIN_WINE_DRIVER} --program=$<TARGET_FILE:kestrin_e2e> --frame=$<TARGET_FILE:kestrin_frame_metrics>
              --port=${KESTRIN_WINE_E2E_NOTICE_PORT} --artifacts=${CMAKE_CURRENT_BINARY_DIR}/artifacts
              --planted=$<TARGET_FILE:kestrin_planted_library>)
  add_test(NAME KestrinExeUnderWine.EndToEnd COMMAND ${_driver} --gtest_filter=-*AtEachDpi*)
  # The screen is shared with the window tests, and the 25-s countdown is waited for once.
  set_tests_properties(KestrinExeUnderWine.EndToEnd PROPERTIES TIMEOUT 400 RESOURCE_LOCK kestrin_wine_screen
                       LABELS e2e)
  # The prefix's screen at other DPIs: nothing else runs while its one setting is changed.
  add_test(NAME KestrinExeUnderWine.AtEachDpi COMMAND ${_driver} --gtest_filter=*AtEachDpi*)
  set_tests_properties(KestrinExeUnderWine.AtEachDpi PROPERTIES TIMEOUT 400 RUN_SERIAL TRUE LABELS e2e)
endif()
