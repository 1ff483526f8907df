// The program's graphical run: what the process does when it is started
// without arguments.
#pragma once

#include <windows.h>

// Initialises COM and the common controls, initialises the application
// module with instance, runs the main window, and undoes the set-up again.
// Returns the process exit code: 1 after the main window was closed, 0 when
// it could not be created.
int StartGraphicalRun(HINSTANCE instance, PWSTR commandLine, int showCommand);

// Registers the thread's message loop, creates and shows the main frame and
// runs the loop until the frame is destroyed. Needs an initialised module.
// The command line is not used.
int RunMainWindow(PWSTR commandLine, int showCommand);
