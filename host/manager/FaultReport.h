// A fault that nothing handles, on any thread, ends the process with the
// fault's code as its exit code, after one line on the standard output:
//   unhandled exception c0000005 at 0000000374cf4162 on thread 432
// Windows would end the process anyway; Wine may instead end only the faulting
// thread, or start its debugger and leave the process hanging, so programs
// that run plug-ins under Wine install this to make a fault visible.
#pragma once

void ReportUnhandledFaults();
