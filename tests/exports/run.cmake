# The shared library's dynamic symbol table holds the public API and
# nothing else. q7k, which carries a static copy of the internals for its
# in-process emulator, takes the API from the library and exports nothing
# of that copy, so neither copy can stand in for the other.
cmake_minimum_required(VERSION 3.25)

# Public names by what the demangled symbol starts with (a class: all its
# members). The library has no C entry points.
set(public
  "q7k::SysAllocString(" "q7k::SysAllocStringLen(" "q7k::SysFreeString("
  "q7k::SysStringLen(" "q7k::Bstr::" "q7k::Utf16ToUtf8(" "q7k::Utf8ToUtf16("
  "q7k::operator==(" q7k::CLSID_Q7kComm q7k::IID_IUnknown
  q7k::IID_ISupportErrorInfo q7k::IID_IQ7kComm q7k::IID_IQ7kCalStatus
  q7k::IID_IQ7kEeprom q7k::IID_IQ7kLog q7k::LIBID_Q7KCOMMLib
  "q7k::GetErrorInfo(" "q7k::SetErrorInfo(" "q7k::ClearErrorInfo("
  "q7k::CreateInstance(" "q7k::SetSerialPortPath("
  "q7k::ResolveSerialPortPath[abi:cxx11](" "q7k::SetMessagePump("
  "q7k::SetProgressViewFactory(" "q7k::RegisterWindow("
  "q7k::UnregisterWindow(" "q7k::SetAnsiCodePage(" "q7k::GetAnsiCodePage("
  "q7k::SetRecordingPath(")
# Internals a host must never bind to, named for a clear message.
set(internal "MessageBuffer|LineDecoder|FillSimulatedBoard")

# Each symbol as "<nm type letter> <demangled name>".
function(symbols file out)
  execute_process(COMMAND ${NM} -D -C ${ARGN} ${file} RESULT_VARIABLE rc
                  OUTPUT_VARIABLE text ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} ${file}: ${err}")
  endif()
  string(REGEX REPLACE "(^|\n)[0-9a-f]* *([A-Za-z]) " "\\1\\2 " text "${text}")
  string(REPLACE "\n" ";" text "${text}")
  list(REMOVE_ITEM text "")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(public_name name out)
  foreach(p IN LISTS public)
    string(FIND "${name}" "${p}" at)
    if(at EQUAL 0)
      set(${out} ${p} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

set(faults "")
set(seen "")
symbols(${LIBRARY} exported --defined-only)
foreach(symbol IN LISTS exported)
  string(SUBSTRING "${symbol}" 2 -1 name)
  public_name("${name}" match)
  if(match)
    list(APPEND seen ${match})
  else()
    string(APPEND faults "exported, not public: ${name}\n")
  endif()
  if(name MATCHES "${internal}")
    string(APPEND faults "internal name exported: ${name}\n")
  endif()
endforeach()
foreach(p IN LISTS public)
  if(NOT p IN_LIST seen)
    string(APPEND faults "public, not exported: ${p}\n")
  endif()
endforeach()

if(TOOL)
  # Only the library's public constants, copied into the program by the
  # linker (the library then uses that copy): no code, nothing internal.
  symbols(${TOOL} defined --defined-only)
  foreach(symbol IN LISTS defined)
    string(SUBSTRING "${symbol}" 2 -1 name)
    public_name("${name}" match)
    if(name MATCHES "q7k::" AND NOT (match AND symbol MATCHES "^[BDR] "))
      string(APPEND faults "q7k exports its own copy of: ${name}\n")
    endif()
  endforeach()
  symbols(${TOOL} imported --undefined-only)
  if(NOT imported MATCHES "U q7k::CreateInstance\\(")
    string(APPEND faults "q7k does not take CreateInstance from the library\n")
  endif()
endif()

if(faults)
  message(FATAL_ERROR "${faults}")
endif()
