# Runs the play-out example (PROGRAM, with VARIANT) and checks what it printed: each task of the
# schedule that can play went through device check, clip check and cue before it went on air,
# and ended; the tasks went on air in the order of the schedule; the one task on a source that
# is not in the device list (4) was reported in error once and ended without going on air,
# before the task after it went on air; nothing else was reported as an error.
execute_process(COMMAND ${PROGRAM} ${VARIANT} OUTPUT_VARIABLE out ERROR_VARIABLE err
                RESULT_VARIABLE rc TIMEOUT 60)
message("${out}${err}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the example ended with ${rc}")
endif()
string(REGEX MATCHALL "task [0-9]+  ErrNotify \\(flags [0-9]+\\)" errors "${out}")
if(NOT errors STREQUAL "task 4  ErrNotify (flags 1)")
    message(FATAL_ERROR "errors reported: ${errors}\nexpected: task 4  ErrNotify (flags 1)")
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

statuses_of(4 got)
if(NOT got STREQUAL "ErrNotify;EndPlay")
    message(FATAL_ERROR "task 4: ${got}\nexpected: ErrNotify;EndPlay")
endif()
string(FIND "${out}" "task 4  EndPlay" passedOver)
string(FIND "${out}" "task 3  BeginPlay" next)
if(NOT next GREATER passedOver)
    message(FATAL_ERROR "task 3 went on air before task 4 was passed over")
endif()
