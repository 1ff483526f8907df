// Page addresses and the shell request that shows them.
#include "mainwindow/web_links.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

namespace {

PageOpener g_opener = ShellOpenPage;

// The running executable's full path; the buffer grows until the name fits,
// as GetModuleFileNameW cuts long names without saying how long they are.
std::wstring ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::wstring();
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

const wchar_t* WebPageFileName(WebPage page) {
    switch (page) {
    case WebPage::Help:
        return L"help.html";
    case WebPage::Protect:
        return L"protect.html";
    case WebPage::Maker:
        return L"about.html";
    }
    return L"help.html";
}

std::wstring WebPagePath(WebPage page) {
    std::wstring folder = ExecutablePath();
    folder.erase(folder.find_last_of(L'\\') + 1);
    return folder + WebPageFileName(page);
}

void OpenWebPage(WebPage page) {
    if (PageOpener opener = g_opener)
        opener(WebPagePath(page));
}

void ShellOpenPage(const std::wstring& address) {
    ::ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOW);
}

PageOpener SetPageOpener(PageOpener opener) {
    PageOpener previous = g_opener;
    g_opener = opener;
    return previous;
}
