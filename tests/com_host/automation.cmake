# Registers the DLL with regsvr32, runs the automation script under cscript
# and unregisters. Passes only when the script printed its final verdict
# (cscript exits 0 on a script error) and both registry steps succeeded.
cmake_minimum_required(VERSION 3.25)

function(run out)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE text
                  ERROR_VARIABLE text TIMEOUT 120)
  set(${out} "${text}" PARENT_SCOPE)
  if(NOT rc EQUAL 0)
    message(SEND_ERROR "${ARGN}: ${rc}\n${text}")
  endif()
endfunction()

# Windows paths on wine's Z: drive.
set(dll "Z:${DLL}")
set(script "Z:${SCRIPT}")
run(ignored ${WINE_RUN} regsvr32 /s ${dll})
run(output ${WINE_RUN} cscript //nologo ${script})
run(ignored ${WINE_RUN} regsvr32 /u /s ${dll})
message("${output}")
string(STRIP "${output}" output)
if(NOT output MATCHES "automation: all checks passed$")
  message(FATAL_ERROR "the script did not reach its end")
endif()
