// The whole job as a user runs it: the real Tessalock.exe started with the
// item or the container, the password typed into its dialog, and the time
// from the button press to the message box that ends the job. That includes
// the progress window, which closes at its next one-second tick after the
// job has ended.
#pragma once

#include "engine/container.h"

#include <string>

namespace bench {

struct WindowRun {
    double seconds = 0; // button press to message box
    std::string problem;
};

// `Tessalock.exe -enc item`, with `-legacy` before it for the old format;
// the container goes beside the item.
bool RunEncryptionWindows(const std::wstring& item, const std::wstring& password,
                          ContainerFormat format, WindowRun& run);
// `Tessalock.exe container`; everything is restored beside it.
bool RunDecryptionWindows(const std::wstring& container, const std::wstring& password,
                          WindowRun& run);

} // namespace bench
