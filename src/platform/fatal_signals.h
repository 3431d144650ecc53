#pragma once
// The last word of a dying process: on a fatal signal (SIGSEGV, SIGBUS, SIGFPE,
// SIGILL, SIGABRT) the hook runs once, then the signal takes its default course
// (a core dump, the exit status of the signal). The hook should only write out
// what is already buffered; it must not wait for a lock for good.

namespace platform {

using FatalSignalHook = void (*)();
// Installs the hook for every fatal signal (the latest hook wins).
void installFatalSignalHook(FatalSignalHook hook);
// A short pause (about a millisecond) that is safe inside a signal handler.
void fatalPause();

}  // namespace platform
