// Start-up, loop and shutdown of the graphical run. Nothing may escape to the
// entry function: an unexpected exception ends the run like a frame that
// could not be created.
#include "mainwindow/graphical_run.h"

#include <commctrl.h>
#include <objbase.h>

#include "common/unique_handle.h"
#include "framework/app_module.h"
#include "framework/message_loop.h"
#include "mainwindow/main_frame.h"

int RunMainWindow(PWSTR, int showCommand) {
    CMessageLoop loop;
    ScopedMessageLoopRegistration registration(g_appModule, loop);
    CMainFrame frame;
    if (!frame.CreateEx())
        return 0;
    frame.ShowWindow(showCommand);
    return loop.Run();
}

int StartGraphicalRun(HINSTANCE instance, PWSTR commandLine, int showCommand) {
    ScopedComInit com;
    // Bar classes as the frame expects; the list view and the About box's
    // link need their classes registered as well.
    INITCOMMONCONTROLSEX controls = {sizeof(controls),
                                     ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&controls);
    g_appModule.Init(instance);
    int result = 0;
    try {
        result = RunMainWindow(commandLine, showCommand);
    } catch (...) {
        result = 0;
    }
    g_appModule.Term();
    return result;
}
