// Message boxes with the program's owner and caption rules.
#include "common/message_box.h"

#include <windows.h>

#include "common/owner_window.h"
#include "common/res_string.h"
#include "resources/resource.h"

namespace {

int ShowBoxAs(const std::wstring& text, const std::wstring& title, UINT type) {
    return ::MessageBoxW(OwnerForNewWindow(), text.c_str(), title.c_str(), type);
}

int ShowBox(const std::wstring& text, const std::wstring& caption, UINT type) {
    return ShowBoxAs(text, caption.empty() ? LoadResString(IDS_APP_CAPTION) : caption, type);
}

} // namespace

void ShowInfoBox(const std::wstring& text, const std::wstring& caption) {
    ShowBox(text, caption, MB_OK | MB_ICONINFORMATION);
}

void ShowUncaptionedInfoBox(const std::wstring& text) {
    ShowBoxAs(text, std::wstring(), MB_OK | MB_ICONINFORMATION);
}

void ShowErrorBox(const std::wstring& text, const std::wstring& caption) {
    ShowBox(text, caption, MB_OK | MB_ICONERROR);
}

bool AskQuestion(const std::wstring& text, const std::wstring& caption) {
    return ShowBox(text, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}
