// The run-a-job handshake between a password dialog, the progress window and
// a worker thread.
#include "dialogs/job_host.h"

#include "common/owner_window.h"
#include "common/unique_handle.h"

bool RunJobWithProgress(LPTHREAD_START_ROUTINE worker, void* params, CDialogProgress& progress) {
    UniqueThread thread(::CreateThread(nullptr, 0, worker, params, 0, nullptr));
    if (!thread)
        return false;
    // A window that could not be started leaves the job running without
    // one; the wait below still collects it.
    progress.DoModal(OwnerForNewWindow(), 0);
    // The modal run destroys its window before it returns. Should one be
    // left all the same, it must not stay on screen, unpainted and dead,
    // while this thread waits without pumping.
    if (progress.m_hWnd && ::IsWindow(progress.m_hWnd))
        ::DestroyWindow(progress.m_hWnd);
    ::WaitForSingleObject(thread.Get(), INFINITE);
    return true;
}
