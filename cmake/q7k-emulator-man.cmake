# Writes the q7k-emulator(1) manual page from the program's --help, so the
# two never disagree. Run as:
#   cmake -DPROGRAM=<q7k-emulator> -DVERSION=<v> -DOUT=<q7k-emulator.1> -P
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/man-page-text.cmake)

help_of(text)
string(REGEX MATCH "^[^\n]*" summary "${text}")
help_block(options "${text}" "Options")
string(REGEX REPLACE "  -h,--help[^\n]*\n?" "" options "${options}")
# Everything after the options: the fault syntax and how it runs.
string(REGEX REPLACE ".*\nOptions:\n[^\n]*(\n[^\n]+)*\n\n" "" notes "${text}")
# "A virtual ..." reads as "q7k-emulator - a virtual ...".
string(SUBSTRING "${summary}" 0 1 first)
string(SUBSTRING "${summary}" 1 -1 rest)
string(TOLOWER "${first}" first)
set(summary "${first}${rest}")
roff(summary "${summary}")
roff(options "${options}")
roff(notes "${notes}")

set(page ".TH Q7K\\-EMULATOR 1 \"\" \"q7kcomm ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\nq7k\\-emulator \\- ${summary}\n")
string(APPEND page ".SH SYNOPSIS\n.B q7k\\-emulator\n[\\fIOPTIONS\\fR]\n")
string(APPEND page ".SH DESCRIPTION\n")
string(APPEND page "q7k\\-emulator answers a host on a pseudo\\-terminal, a serial ")
string(APPEND page "device or a network port as the instrument would.\n")
string(APPEND page ".SH OPTIONS\n.nf\n${options}\n.fi\n")
string(APPEND page ".SH NOTES\n.nf\n${notes}.fi\n")
file(WRITE ${OUT} "${page}")
