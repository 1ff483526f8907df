// The string loader. LoadStringW copies at most the buffer size minus one
// characters and always terminates, so a zeroed 1024-character buffer gives
// entries of up to 1023 characters and an empty text when the entry is absent.
#include "common/res_string.h"

#include "common/resource_instance.h"

std::wstring LoadResString(UINT id) {
    wchar_t buffer[1024] = {};
    int length = ::LoadStringW(GetResourceInstance(), id, buffer, 1024);
    if (length <= 0)
        return std::wstring();
    return std::wstring(buffer, static_cast<size_t>(length));
}
