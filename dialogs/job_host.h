// How a password dialog runs a job: the worker on a thread of its own, the
// modal progress window above the dialog while it works, then a wait for
// the worker without pumping messages. The job's results may be read once
// RunJobWithProgress has returned.
#pragma once

#include <windows.h>

#include "dialogs/progress.h"
#include "jobs/job_start.h"

// Starts worker(params), shows progress modally (owned by OwnerForNewWindow)
// until it closes, and waits for the worker to end. The progress window is
// gone before the wait starts. False, with the last error set and nothing
// run, when the thread could not be started.
bool RunJobWithProgress(LPTHREAD_START_ROUTINE worker, void* params, CDialogProgress& progress);

// The same, as the starter the jobs' run functions take.
inline JobStarter WithProgressWindow(CDialogProgress& progress) {
    return [&progress](LPTHREAD_START_ROUTINE worker, void* params) {
        return RunJobWithProgress(worker, params, progress);
    };
}
