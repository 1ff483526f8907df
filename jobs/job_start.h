// How an owner runs a job's worker: it starts the worker with its parameter
// block and returns once the worker has ended. A plain wait (tests, the
// benchmark), the progress window's modal run (the dialogs), or a call on
// the same thread (the fuzzer). False when the worker could not be started.
#pragma once

#include <windows.h>

#include <functional>

using JobStarter = std::function<bool(LPTHREAD_START_ROUTINE worker, void* params)>;
