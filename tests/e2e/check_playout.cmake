# Runs the play-out example (PROGRAM, with VARIANT) and checks what it printed: each task of the
# schedule went through device check, clip check and cue before it went on air, and ended; the
# tasks went on air in the order of the schedule; nothing was reported as an error.
execute_process(COMMAND ${PROGRAM} ${VARIANT} OUTPUT_VARIABLE out ERROR_VARIABLE err
                RESULT_VARIABLE rc TIMEOUT 60)
message("${out}${err}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the example ended with ${rc}")
endif()
if(out MATCHES "ErrNotify")
    message(FATAL_ERROR "a task was reported in error")
endif()

set(expected DevChecking DevChkEnd ClipChecking ClipChkEnd Cuing EndCue BeginPlay EndPlay)
if(VARIANT EQUAL 3)
    list(APPEND expected EjectBegin EjectEnd)
endif()

# The statuses of one task, in the order printed.
function(statuses_of id result)
    string(REGEX MATCHALL "task ${id}  [A-Za-z]+" lines "${out}")
    set(names)
    foreach(line ${lines})
        string(REGEX REPLACE "^task ${id}  " "" name "${line}")
        list(APPEND names ${name})
    endforeach()
    set(${result} "${names}" PARENT_SCOPE)
endfunction()

set(previous -1)
foreach(id 1 2 3)
    statuses_of(${id} got)
    if(NOT got STREQUAL expected)
        message(FATAL_ERROR "task ${id}: ${got}\nexpected: ${expected}")
    endif()
    string(FIND "${out}" "task ${id}  BeginPlay" onAir)
    if(NOT onAir GREATER previous)
        message(FATAL_ERROR "task ${id} went on air out of the schedule's order")
    endif()
    set(previous ${onAir})
endforeach()
