# The one place where the platform is chosen. A folder keeps the code that differs per platform in
# subfolders named after the platforms (runtime/linux/, runtime/windows/, ...), each file beside
# its twin; kestrin_library compiles the folder's own files and those of this platform's subfolder.
# The window framework's backend is chosen with it: ui/win32/ (Windows' own controls) on Windows,
# ui/qt/ on Linux.
if(WIN32)
  set(KESTRIN_PLATFORM windows)
  set(KESTRIN_UI_BACKEND win32)
else()
  set(KESTRIN_PLATFORM linux)
  set(KESTRIN_UI_BACKEND qt)
endif()

# kestrin_library(NAME DEPS ... [LINUX_DEPS ...] [WINDOWS_DEPS ...]): one static library from every
# .cpp in a folder and in its subfolder for this platform, linked with DEPS and this platform's deps.
function(kestrin_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;LINUX_DEPS;WINDOWS_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/${KESTRIN_PLATFORM}/*.cpp)
  if(KESTRIN_PLATFORM STREQUAL "windows")
    list(APPEND ARG_DEPS ${ARG_WINDOWS_DEPS})
  else()
    list(APPEND ARG_DEPS ${ARG_LINUX_DEPS})
  endif()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()  # a folder whose code has not been written yet
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# A cross build lists its tests through the emulator (Wine) when ctest runs, not at every build.
if(CMAKE_CROSSCOMPILING)
  set(KESTRIN_DISCOVERY_MODE PRE_TEST)
else()
  set(KESTRIN_DISCOVERY_MODE POST_BUILD)
endif()

# kestrin_test_suite(NAME DEPS ... [LINUX_DEPS ...] [LINUX_ONLY file ...] [SUPPORT file ...]
# [PROPERTIES ...]): one GoogleTest program from every *_test.cpp in a folder and every .cpp in its
# subfolder for this platform. LINUX_ONLY names test files of the folder that need what is not
# built for Windows; SUPPORT names files of the platform's subfolder that a library of the folder
# builds instead; PROPERTIES go to every test of the program.
function(kestrin_test_suite name)
  cmake_parse_arguments(ARG "" "" "DEPS;LINUX_DEPS;LINUX_ONLY;SUPPORT;PROPERTIES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/${KESTRIN_PLATFORM}/*.cpp)
  list(TRANSFORM ARG_SUPPORT PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/${KESTRIN_PLATFORM}/)
  list(REMOVE_ITEM sources ${ARG_SUPPORT})
  if(KESTRIN_PLATFORM STREQUAL "linux")
    list(APPEND ARG_DEPS ${ARG_LINUX_DEPS})
  else()
    list(TRANSFORM ARG_LINUX_ONLY PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
    list(REMOVE_ITEM sources ${ARG_LINUX_ONLY})
  endif()
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 DISCOVERY_MODE ${KESTRIN_DISCOVERY_MODE}
                       PROPERTIES TIMEOUT 300 ${ARG_PROPERTIES})
endfunction()

# kestrin_system_headers(TARGET FOLDER): a header-only library of Debian's /usr/include for the
# cross build, which sees that one folder alone, through a link: the C headers beside it must not
# mix with mingw-w64's.
function(kestrin_system_headers target folder)
  find_path(KESTRIN_HEADERS_${folder} ${folder} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
            REQUIRED)
  set(links ${CMAKE_BINARY_DIR}/system_headers/${folder})
  file(MAKE_DIRECTORY ${links})
  file(CREATE_LINK ${KESTRIN_HEADERS_${folder}}/${folder} ${links}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  target_include_directories(${target} SYSTEM INTERFACE ${links})
endfunction()
