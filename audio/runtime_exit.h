// Runs the library's end when the program calls exit (as returning from main
// does), before ExitProcess ends the process's other threads: after that a
// thread of ours, or of the system's sound driver, killed inside a device
// call can hang or crash the exit, and DllMain's notice comes too late.
#pragma once

// Registers the calls (one shape per runtime) with the process-wide exit table
// of each C runtime the process has loaded: msvcrt.dll's _onexit and
// ucrtbase.dll's _crt_atexit, looked up, never loaded here. Pins the module
// that holds `atExit` so that its code outlives any FreeLibrary. Returns how
// many runtimes took it. A program that ends through ExitProcess itself, or
// whose runtime is another (a static one, an older msvcrXX.dll), never runs
// them.
int RunAtRuntimeExit(int(__cdecl* onExit)(), void(__cdecl* atExit)());
