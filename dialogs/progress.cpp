// The arithmetic and text of the progress display.
#include "dialogs/progress.h"

#include <cwchar>

namespace zelprogress {

uint64_t ProgressPercent(uint64_t total, uint64_t current) {
    if (total == 0)
        return 0;
    return (current * 100) / total;
}

std::wstring ProgressLabel(uint64_t percent) {
    wchar_t text[256] = {};
    _snwprintf(text, 256, L"%d %%", static_cast<int32_t>(percent));
    // _snwprintf leaves no terminator when the text fills the buffer.
    text[255] = L'\0';
    return text;
}

} // namespace zelprogress
