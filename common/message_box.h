// The program's three message boxes. Each is owned by the window that
// OwnerForNewWindow picks (never another program's window) and is captioned
// "Tessalock v1.3" (string 128) unless a caption is given.
#pragma once

#include <string>

void ShowInfoBox(const std::wstring& text, const std::wstring& caption = std::wstring());
void ShowErrorBox(const std::wstring& text, const std::wstring& caption = std::wstring());
// Yes/No question; true only when the user chose Yes.
bool AskQuestion(const std::wstring& text, const std::wstring& caption = std::wstring());
