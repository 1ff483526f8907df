// The pages the main window opens with the shell: the online help, the page
// on password-protecting files and folders, and the maker's page shown in the
// About box. They ship as HTML files beside Tessalock.exe, so every link
// works offline and none leads nowhere.
//
// Opening goes through a replaceable function, so a test can observe the
// shell requests instead of starting a browser.
#pragma once

#include <string>

enum class WebPage { Help, Protect, Maker };

// The file name of a page as shipped beside the program ("help.html").
const wchar_t* WebPageFileName(WebPage page);

// The page's full path: the folder of the running executable plus its file
// name.
std::wstring WebPagePath(WebPage page);

// Hands the page's address to the current opener. The result is not
// reported: a page that cannot be shown leaves the window as it was.
void OpenWebPage(WebPage page);

// Receives the full address of a page to show.
using PageOpener = void (*)(const std::wstring& address);

// The shell's "open" verb with no owner window and SW_SHOW.
void ShellOpenPage(const std::wstring& address);

// Replaces the opener (ShellOpenPage by default); returns the previous one.
PageOpener SetPageOpener(PageOpener opener);
