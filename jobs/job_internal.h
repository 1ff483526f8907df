// What the jobs' own files share and nobody outside the jobs needs: the one
// way a worker raises its failure, the one way a worker ends, and the size
// of the blocks in which the jobs read and write bodies.
#pragma once

#include "common/progress_update.h"
#include "jobs/job_result.h"
#include "jobs/job_texts.h"

#include <cstddef>
#include <string>

inline constexpr size_t kBlockBytes = 1 << 20;

// Raises the failure text; the worker's top catches it.
[[noreturn]] inline void Fail(const std::wstring& text) {
    throw CJobFailure(text);
}

// A worker's last step, the same for every job. reached is what the job's
// own code came to: Succeeded, NeedsConsent, or Failed when it raised a
// failure. A run the user cancelled and that did not succeed is Cancelled,
// whatever stopped it, and tells nothing; a failure always tells something,
// even one raised without a text. Reports the end to the progress (0 after
// a success, 1 otherwise) and returns the result for the outcome.
inline JobResult FinishJob(JobResult reached, std::wstring& errorText,
                           zelprogress::IProgressUpdate& progress) {
    JobResult result = reached;
    if (result != JobResult::Succeeded && progress.IsCancelled())
        result = JobResult::Cancelled;
    if (result == JobResult::Failed && errorText.empty())
        errorText = jobtext::kUnexpected;
    if (result != JobResult::Failed)
        errorText.clear();
    progress.SetFinished(result == JobResult::Succeeded ? 0 : 1);
    return result;
}
