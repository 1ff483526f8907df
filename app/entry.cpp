// Process entry. Started with arguments, the program opens the one dialog
// they ask for and ends when it closes; started without, it shows its main
// window.
#include <windows.h>
#include <shellapi.h>

#include "app/dispatch.h"
#include "common/unique_handle.h"
#include "mainwindow/graphical_run.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    // Nothing may leave the entry function: a failure that got this far
    // ends the process with 0, as a run that could not start does.
    try {
        if (commandLine && commandLine[0] != L'\0') {
            int count = 0;
            // The array is one LocalAlloc block; the owner frees it also
            // when the dialog's run throws.
            UniqueArgv args(::CommandLineToArgvW(commandLine, &count));
            if (args) {
                DispatchCommandLine(args.Get(), count);
                return 1;
            }
        }
        // An empty command line, or one that cannot be split: the main window.
        return StartGraphicalRun(instance, commandLine, showCommand);
    } catch (...) {
        return 0;
    }
}
