# The command-line tool's libraries for the Windows build, all linked statically: zlib from
# Debian's mingw-w64 package, SQLite's amalgamation and libxml2's sources as scripts/setup.sh
# fetched them into build/third_party, and the header-only CLI11, toml++ and nlohmann-json from
# Debian's /usr/include. The targets carry the names the Linux build finds its packages under.
set(KESTRIN_THIRD_PARTY_DIR ${PROJECT_SOURCE_DIR}/build/third_party CACHE PATH
    "Where scripts/setup.sh unpacks the sources of SQLite and libxml2")
foreach(needed sqlite3/sqlite3.c libxml2/parser.c)
  if(NOT EXISTS ${KESTRIN_THIRD_PARTY_DIR}/${needed})
    message(FATAL_ERROR "${KESTRIN_THIRD_PARTY_DIR}/${needed} is missing: run bash scripts/setup.sh")
  endif()
endforeach()

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# Other people's code keeps its own warnings; the program's flags (the GB18030 literals
# included) are not for it.
function(kestrin_foreign_library name)
  add_library(${name} STATIC ${ARGN})
  set_target_properties(${name} PROPERTIES COMPILE_OPTIONS "-w" C_STANDARD 11)
endfunction()

# No extension is ever loaded: nothing runs from beside the program.
kestrin_foreign_library(kestrin_sqlite3 ${KESTRIN_THIRD_PARTY_DIR}/sqlite3/sqlite3.c)
target_compile_definitions(kestrin_sqlite3 PRIVATE SQLITE_OMIT_LOAD_EXTENSION SQLITE_THREADSAFE=1
                           SQLITE_DEFAULT_MEMSTATUS=0 SQLITE_DQS=0)
target_include_directories(kestrin_sqlite3 SYSTEM INTERFACE ${KESTRIN_THIRD_PARTY_DIR}/sqlite3)
add_library(SQLite::SQLite3 ALIAS kestrin_sqlite3)

# libxml2 as packaged for Node: its config.h and xmlversion.h as configured there (no iconv, no
# HTTP, no threads; the tool parses on one thread at a time).
set(libxml ${KESTRIN_THIRD_PARTY_DIR}/libxml2)
set(libxml_files buf catalog chvalid dict encoding entities error globals hash HTMLparser HTMLtree legacy list
    parser parserInternals pattern SAX2 SAX tree threads uri valid xmlIO xmlmemory xmlreader xmlregexp xmlsave
    xmlstring xmlunicode xpath xpointer xinclude relaxng xmlschemas xmlschemastypes schematron)
list(TRANSFORM libxml_files PREPEND ${libxml}/)
list(TRANSFORM libxml_files APPEND .c)
kestrin_foreign_library(kestrin_libxml2 ${libxml_files})
target_compile_definitions(kestrin_libxml2 PUBLIC LIBXML_STATIC)
target_include_directories(kestrin_libxml2 PRIVATE ${libxml})
target_include_directories(kestrin_libxml2 SYSTEM PUBLIC ${libxml}/include)
target_link_libraries(kestrin_libxml2 PRIVATE ws2_32)
add_library(LibXml2::LibXml2 ALIAS kestrin_libxml2)

# The header-only libraries.
kestrin_system_headers(CLI11::CLI11 CLI)
kestrin_system_headers(tomlplusplus::tomlplusplus toml++)
