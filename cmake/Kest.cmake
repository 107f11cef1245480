# Helpers shared by every folder's CMakeLists.

# Sources of a folder: every .cpp in it, picked up again when files are added.
function(kest_glob_sources out)
    set(all "")
    foreach(dir ${ARGN})
        file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
        list(APPEND all ${found})
    endforeach()
    set(${out} ${all} PARENT_SCOPE)
endfunction()

# Sources of a library folder and every folder below it (a protocol family keeps its own
# sub-folder).
function(kest_glob_sources_recursive out)
    set(all "")
    foreach(dir ${ARGN})
        file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
        list(APPEND all ${found})
    endforeach()
    set(${out} ${all} PARENT_SCOPE)
endfunction()

# A deliverable shared library: its own sources, its own private copy of KestLib20, and the
# export macro <NAME>_EXPORTS defined while it is compiled.
function(kest_add_deliverable name export_define)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
    add_library(${name} SHARED ${ARG_SOURCES} $<TARGET_OBJECTS:KestLib20>)
    target_compile_definitions(${name} PRIVATE ${export_define})
    target_link_libraries(${name} PUBLIC KestPlatform ${ARG_LINK} Threads::Threads ${CMAKE_DL_LIBS})
endfunction()
