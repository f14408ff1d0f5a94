# cmake -DSERVER=<file> -DNM=<nm> -DREADELF=<readelf> -P check_exports.cmake
# The server file's dynamic symbol table defines exactly the four entry points, and
# its run path is its own folder.
execute_process(COMMAND ${NM} -D --defined-only ${SERVER} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} failed on ${SERVER}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(names "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
set(expected DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "${SERVER} defines these dynamic symbols:\n${symbols}\nexpected only: ${expected}")
endif()

execute_process(COMMAND ${READELF} -d ${SERVER} OUTPUT_VARIABLE dynamic RESULT_VARIABLE failed)
if(failed OR NOT dynamic MATCHES "\\(RUNPATH\\)[^\n]*\\[\\$ORIGIN\\]")
  message(FATAL_ERROR "${SERVER} lacks the run path $ORIGIN:\n${dynamic}")
endif()
