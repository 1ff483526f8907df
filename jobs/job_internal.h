// What the jobs' own files share and nobody outside the jobs needs: the one
// way a worker raises its failure, and the size of the blocks in which the
// jobs read and write bodies.
#pragma once

#include "jobs/job_texts.h"

#include <cstddef>
#include <string>

inline constexpr size_t kBlockBytes = 1 << 20;

// Raises the failure text; the worker's top catches it.
[[noreturn]] inline void Fail(const std::wstring& text) {
    throw JobFailure(text);
}
