// The program's message boxes. Each is owned by the window that
// OwnerForNewWindow picks (never another program's window) and is captioned
// "Tessalock v1.3" (string 128) unless a caption is given or it has none.
#pragma once

#include <string>

void ShowInfoBox(const std::wstring& text, const std::wstring& caption = std::wstring());
// The information box with an empty caption (the note that an item is
// already encrypted).
void ShowUncaptionedInfoBox(const std::wstring& text);
void ShowErrorBox(const std::wstring& text, const std::wstring& caption = std::wstring());
// Yes/No question; true only when the user chose Yes.
bool AskQuestion(const std::wstring& text, const std::wstring& caption = std::wstring());
