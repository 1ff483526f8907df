// The text of a failure that no part of a job raised on purpose.
#include "jobs/job_texts.h"

#include <windows.h>

#include <exception>

#include "jobs/path_info.h"

std::wstring UnexpectedFailureText() {
    std::string what;
    try {
        throw;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    if (what.empty())
        return jobtext::kUnexpected;
    // The runtime's messages are in the program's code page.
    std::wstring wide(what.size(), L'\0');
    const int length = ::MultiByteToWideChar(CP_ACP, 0, what.data(), static_cast<int>(what.size()),
                                             &wide[0], static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return FormatString(jobtext::kUnexpectedDetail.Load().c_str(), wide.c_str());
}
