# The header check: each installed header compiles on its own, with the project's flags and
# include paths. One generated translation unit a header includes it twice (a missing guard
# shows too); the target is never part of a plain build:
#     cmake --build <dir> --target kest_header_check
# scripts/check_headers.py builds it; scripts/test.sh runs that as a stage of its own.

# Headers that are not meant to stand alone, with the reason (cmake/HeaderCheckExempt.txt).
file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/HeaderCheckExempt.txt exempt_lines REGEX "^[^#]")
set(KEST_HEADER_CHECK_EXEMPT "")
foreach(line ${exempt_lines})
    string(REGEX REPLACE "[ \t]*#.*$" "" path "${line}")
    string(STRIP "${path}" path)
    list(APPEND KEST_HEADER_CHECK_EXEMPT ${path})
endforeach()

set(KEST_HEADER_CHECK_SOURCES "")
foreach(dir platform KestLib20 Kest20 devext drivers gpi)
    file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR}
         ${CMAKE_SOURCE_DIR}/${dir}/*.h)
    foreach(header ${headers})
        # The gpi program's own headers are not installed.
        if(header MATCHES "^gpi/main/" OR header IN_LIST KEST_HEADER_CHECK_EXEMPT)
            continue()
        endif()
        string(MAKE_C_IDENTIFIER ${header} name)
        set(unit ${CMAKE_BINARY_DIR}/header_check/${name}.cpp)
        file(CONFIGURE OUTPUT ${unit} CONTENT "#include \"${header}\"\n#include \"${header}\"\n")
        list(APPEND KEST_HEADER_CHECK_SOURCES ${unit})
    endforeach()
endforeach()
add_library(kest_header_check OBJECT EXCLUDE_FROM_ALL ${KEST_HEADER_CHECK_SOURCES})
target_link_libraries(kest_header_check PRIVATE KestPlatform KestDb KestUi Threads::Threads)
