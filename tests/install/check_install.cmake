# Installs BUILD_DIR to WORK_DIR/prefix, builds examples/playout and the minimal program of
# minimal/ (the README's, which shows its files as they are) against it twice (the CMake
# package, then pkg-config), and runs every build: the example through its status check, the
# minimal program to its last line. The consoles example is built through the CMake package
# and worked by its clients.
#
# Every program links with --as-needed, as Debian's compiler does by default (it leaves it out
# only for sanitized links): a library named before the objects that need it is dropped.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out
                    TIMEOUT 300)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
    endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(f lib/libKest20.so.1 lib/libDevext20.so.1 lib/libKsOvra20.so.1 lib/libPinio.so.1
          lib/libKestLib20.a lib/libPCOMM.so lib/libadsapi32.so lib/libhpvslapi.so bin/gpi
          include/kest/Kest20/KestApplication.h include/kest/drivers/model/CVideoDevMgr.h
          lib/cmake/Kest/KestConfig.cmake lib/pkgconfig/kest.pc)
    if(NOT EXISTS ${prefix}/${f})
        message(FATAL_ERROR "not installed: ${f}")
    endif()
endforeach()

# The installed program and libraries find what they need in the prefix alone.
foreach(f bin/gpi lib/libPinio.so.1 lib/libPCOMM.so)
    execute_process(COMMAND ldd ${prefix}/${f} OUTPUT_VARIABLE deps RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR deps MATCHES "not found")
        message(FATAL_ERROR "${f} does not find its libraries:\n${deps}")
    endif()
endforeach()

set(as_needed -Wl,--as-needed)
set(minimal_dir ${CMAKE_CURRENT_LIST_DIR}/minimal)

# The README shows the minimal program's files whole, as code blocks (indented by four).
file(READ ${SOURCE_DIR}/README.md readme)
foreach(f CMakeLists.txt main.cpp minimal.CLSID)
    file(READ ${minimal_dir}/${f} text)
    string(REGEX REPLACE "\n([^\n])" "\n    \\1" text "\n${text}")
    string(FIND "${readme}" "${text}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the README does not show tests/install/minimal/${f} as it is")
    endif()
endforeach()

# The outside projects, through the CMake package.
foreach(project playout minimal consoles)
    set(source ${SOURCE_DIR}/examples/${project})
    if(project STREQUAL minimal)
        set(source ${minimal_dir})
    endif()
    run(${CMAKE_COMMAND} -S ${source} -B ${WORK_DIR}/cmake-${project} -G ${GENERATOR}
        -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix}
        -DCMAKE_EXE_LINKER_FLAGS=${as_needed})
    run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-${project})
endforeach()

# The same programs through pkg-config.
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs kest OUTPUT_VARIABLE flags
                RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know kest")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
file(MAKE_DIRECTORY ${WORK_DIR}/pc-build)
run(${CXX} ${as_needed} ${SOURCE_DIR}/examples/playout/main.cpp -o ${WORK_DIR}/pc-build/playout
    ${flags})
file(COPY ${SOURCE_DIR}/examples/playout/playout.CLSID ${minimal_dir}/minimal.CLSID
     DESTINATION ${WORK_DIR}/pc-build)
run(${CXX} ${as_needed} ${minimal_dir}/main.cpp -o ${WORK_DIR}/pc-build/minimal ${flags})

foreach(program ${WORK_DIR}/cmake-playout/playout ${WORK_DIR}/pc-build/playout)
    run(${CMAKE_COMMAND} -DPROGRAM=${program} -DVARIANT=1
        -P ${SOURCE_DIR}/tests/e2e/check_playout.cmake)
endforeach()
run(python3 ${SOURCE_DIR}/tests/e2e/check_consoles.py ${WORK_DIR}/cmake-consoles/consoles)
foreach(program ${WORK_DIR}/cmake-minimal/minimal ${WORK_DIR}/pc-build/minimal)
    execute_process(COMMAND ${program} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out
                    TIMEOUT 60)
    if(NOT rc EQUAL 0 OR NOT out MATCHES "minimal: ok")
        message(FATAL_ERROR "${program} failed (${rc}):\n${out}")
    endif()
endforeach()
