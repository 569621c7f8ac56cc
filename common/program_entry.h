// The entry of each shipped program, in place of the runtime's start-up
// code: the linker names it the image's entry point (-nostartfiles, -e).
// Nothing in the programs needs that start-up: no static constructors or
// destructors, no atexit, no argv; msvcrt.dll sets up its own state
// (environment, code page) when the loader attaches it. The entry ends the
// process with ExitProcess(0) and never returns.
#pragma once

#include <windows.h>

extern "C" DECLSPEC_NORETURN void WINAPI ProgramEntry(void);
