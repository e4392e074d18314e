# Pieces of a manual page written from a program's --help texts (CLI11
# layout); PROGRAM is the program.

function(help_of out_var)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help OUTPUT_VARIABLE text
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed (${rc})")
  endif()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# Escapes text for roff: backslashes, hyphens (so options copy as typed) and
# control characters at line starts.
function(roff out_var text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# The lines of the block that follows "<heading>:" up to a blank line.
function(help_block out_var text heading)
  set(result "")
  if(text MATCHES "(^|\n)${heading}:\n(.*)")
    string(REGEX REPLACE "\n\n.*" "" result "${CMAKE_MATCH_2}")
  endif()
  set(${out_var} "${result}" PARENT_SCOPE)
endfunction()
