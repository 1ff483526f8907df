// The pages the main window opens with the shell: the help, the page on
// password-protecting files and folders, and the maker's page shown in the
// About box. They live in the program's own resources, so a lone
// Tessalock.exe (from the zip, or copied anywhere) has them too: before a
// page is shown, every page and the style sheet they share are written into
// a folder of the user's temporary folder, and the browser opens the copy.
// When a page cannot be written or shown, an error box says why; a press on
// Help never goes unanswered.
//
// Opening goes through a replaceable function, so a test can observe the
// requests instead of starting a browser.
#pragma once

#include <string>

enum class WebPage { Help, Protect, Maker };

// The file name a page is written under ("help.html").
const wchar_t* WebPageFileName(WebPage page);

// "Tessalock\" in the user's temporary folder, with the trailing backslash.
std::wstring WebPagesFolder();

// WebPagesFolder() plus the page's file name.
std::wstring WebPagePath(WebPage page);

// Writes every page and the style sheet from the resources into folder
// (created when missing); a file that already holds the right bytes is left
// alone. False, with the system's last error set, when one could not be
// written.
bool WriteWebPages(const std::wstring& folder);

// Hands the page's path to the current opener.
void OpenWebPage(WebPage page);

// Receives the full path of a page to show.
using PageOpener = void (*)(const std::wstring& path);

// Writes the pages into the folder of path, then asks the shell to "open"
// path (no owner window, SW_SHOW). Shows an error box, with the system's
// reason, when either step fails.
void ShowLocalPage(const std::wstring& path);

// Asks the shell to "open" path; an error box with the system's reason when
// it cannot.
void ShellOpenPage(const std::wstring& path);

// Replaces the opener (ShowLocalPage by default); returns the previous one.
PageOpener SetPageOpener(PageOpener opener);
