# Runs the play-out example (PROGRAM, with VARIANT) and checks what it printed: each task of the
# schedule that can play went through device check, clip check and cue before it went on air,
# and ended; the tasks went on air in the order of the schedule; the one task on a source that
# is not in the device list (4) was reported in error once and ended without going on air,
# before the task after it went on air; nothing else was reported as an error; and every
# status came at its time in the schedule, within a bound (the README's timeline).
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

set(passed_over ErrNotify EndPlay)
if(VARIANT EQUAL 3)
    list(APPEND passed_over EjectBegin EjectEnd)
endif()
statuses_of(4 got)
if(NOT got STREQUAL passed_over)
    message(FATAL_ERROR "task 4: ${got}\nexpected: ${passed_over}")
endif()
string(FIND "${out}" "task 4  EndPlay" passedOver)
string(FIND "${out}" "task 3  BeginPlay" next)
if(NOT next GREATER passedOver)
    message(FATAL_ERROR "task 3 went on air before task 4 was passed over")
endif()

# When each status may print, in ms after the schedule was made: from its time in the schedule
# to that time plus the cycle of the thread that reports it (none where a start or the end of
# the one before sets it off), plus a margin for a busy machine. Task 1 is due from 2.0 s, 2
# from 4.0 s, 4 (on LINE9) from 6.0 s and 3 from 7.0 s; each is cued as the one before goes on
# air, the clip check taking 0.5 s; task 4 is passed over when task 3 must be prepared (7.0 s
# less the line source's PrepareTime of 1 s); the trace thread (every 0.5 s) ends a program
# 1 s after its end (task 2 at 7.0 s, as task 3 goes on air; task 3 at 9.0 s), and in variant 3
# the stop thread (every 0.5 s) stops what has ended.
set(margin 300)
set(times
    "1 DevChecking 0 1000" "1 EndCue 500 1500" "1 BeginPlay 2000 0"
    "2 DevChecking 2000 0" "2 EndCue 2500 0" "2 BeginPlay 4000 0" "1 EndPlay 4000 0"
    "4 ErrNotify 4000 1000" "4 EndPlay 6000 0"
    "3 DevChecking 6000 0" "3 EndCue 6500 0" "3 BeginPlay 7000 0" "2 EndPlay 7000 500"
    "3 EndPlay 9000 500")
if(VARIANT EQUAL 3)
    list(APPEND times
         "1 EjectEnd 4000 500" "4 EjectEnd 6000 0" "2 EjectEnd 7000 1000" "3 EjectEnd 9000 1000")
endif()
foreach(entry ${times})
    separate_arguments(fields UNIX_COMMAND "${entry}")
    list(GET fields 0 id)
    list(GET fields 1 status)
    list(GET fields 2 due)
    list(GET fields 3 cycle)
    if(NOT out MATCHES "([0-9]+)\\.([0-9][0-9][0-9]) s  task ${id}  ${status}")
        message(FATAL_ERROR "task ${id}: no ${status}")
    endif()
    set(seconds ${CMAKE_MATCH_1})
    string(REGEX REPLACE "^0+([0-9])" "\\1" ms "${CMAKE_MATCH_2}")
    math(EXPR at "${seconds} * 1000 + ${ms}")
    math(EXPR latest "${due} + ${cycle} + ${margin}")
    if(at LESS due OR at GREATER latest)
        message(FATAL_ERROR
                "task ${id} ${status} at ${at} ms, expected from ${due} ms to ${latest} ms")
    endif()
endforeach()
