#pragma once
// Names the calling thread for the tools that list threads (top -H, perf,
// /proc/PID/task/*/comm, a debugger). Long names are cut to what the system
// keeps (15 bytes here); a failure changes nothing.

namespace platform {

void nameThisThread(const char* name);

}  // namespace platform
