# SPDX-License-Identifier: MIT
# Run by ctest: kestrin-sol must find the same best strings, with the same hits and in the same order, as
# kestrin-cli on a file where kestrin-cli's end-of-file rule cannot matter: the file ends in 16 bytes that
# occur nowhere else, so every string that one program counts and the other does not is met only once.
# The lengths cover the arrays (1, 2), the packed tables (3, 8) and the hashed ones (9, 16); three threads
# split the strings unevenly, and the 1 MiB file grows the length-16 tables past the size estimate.
set(file "${CMAKE_CURRENT_BINARY_DIR}/sol_check.txt")
execute_process(COMMAND "${GEN}" -o "${file}" 1M 5 RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "kestrin-gen failed: ${result}")
endif()
string(ASCII 1 2 3 4 5 6 7 8 11 12 14 15 16 17 18 19 tail)
file(APPEND "${file}" "${tail}")

set(lengths 1-3,8,9,16)
execute_process(COMMAND "${CLI}" -q -y -l ${lengths} -n 200 "${file}" OUTPUT_VARIABLE cli RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "kestrin-cli failed: ${result}")
endif()
execute_process(COMMAND "${SOL}" -t 3 -l ${lengths} -n 200 "${file}" OUTPUT_VARIABLE sol RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "kestrin-sol failed: ${result}")
endif()
file(REMOVE "${file}")

# Field by field, since kestrin-cli's "string = " text may hold line breaks (and CMake lists split at ";").
foreach(field "total space = [0-9]+" "hits = [0-9]+" "hex = [0-9A-F]+" "len = [0-9]+")
    string(REGEX MATCHALL "${field}" from_cli "${cli}")
    string(REGEX MATCHALL "${field}" from_sol "${sol}")
    list(LENGTH from_cli count)
    if(NOT count EQUAL 201)
        message(FATAL_ERROR "kestrin-cli gave ${count} results instead of 201")
    endif()
    if(NOT from_cli STREQUAL from_sol)
        message(FATAL_ERROR "kestrin-sol and kestrin-cli disagree on \"${field}\":\n${from_sol}\n${from_cli}")
    endif()
endforeach()
