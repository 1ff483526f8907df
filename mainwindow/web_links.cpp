// Writing the pages out of the resources and showing them with the shell.
#include "mainwindow/web_links.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "common/message_box.h"
#include "common/res_string.h"
#include "common/resource_instance.h"
#include "common/unique_handle.h"
#include "jobs/path_info.h"
#include "resources/resource.h"

namespace {

PageOpener g_opener = ShowLocalPage;

struct PageFile {
    int resourceId;
    const wchar_t* fileName;
};

// Everything the pages link to; they refer to each other by file name.
const PageFile kPageFiles[] = {
    {IDR_PAGE_HELP, L"help.html"},
    {IDR_PAGE_PROTECT, L"protect.html"},
    {IDR_PAGE_ABOUT, L"about.html"},
    {IDR_PAGE_STYLE, L"tessalock.css"},
};

std::string ResourceBytes(int id) {
    HMODULE module = GetResourceInstance();
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_HTML);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const char* data = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    if (!data) {
        ::SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return std::string();
    }
    return std::string(data, ::SizeofResource(module, found));
}

bool FileHolds(const std::wstring& path, const std::string& bytes) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size) ||
        size.QuadPart != static_cast<LONGLONG>(bytes.size()))
        return false;
    std::string held(bytes.size(), '\0');
    DWORD read = 0;
    return ::ReadFile(file.Get(), &held[0], static_cast<DWORD>(held.size()), &read, nullptr) &&
           read == held.size() && held == bytes;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file &&
           ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

void ShowPageError(const std::wstring& path) {
    // Read the system's reason before the box can change the last error.
    // Its messages about a file name the file as an insert.
    std::wstring reason = SystemErrorTextAbout(::GetLastError(), path);
    ShowErrorBox(FormatString(LoadResString(IDS_PAGE_NOT_SHOWN).c_str(), path.c_str()) + reason);
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

std::wstring WebPagesFolder() {
    // The system says how long the temporary folder's path is.
    DWORD length = ::GetTempPathW(0, nullptr);
    std::vector<wchar_t> buffer(length + 1, L'\0');
    length = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    std::wstring folder(buffer.data(), length < buffer.size() ? length : 0);
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    return folder + L"Tessalock\\";
}

std::wstring WebPagePath(WebPage page) {
    return WebPagesFolder() + WebPageFileName(page);
}

bool WriteWebPages(const std::wstring& folder) {
    if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    for (const PageFile& page : kPageFiles) {
        std::string bytes = ResourceBytes(page.resourceId);
        if (bytes.empty())
            return false;
        std::wstring path =
            folder + (folder.empty() || folder.back() != L'\\' ? L"\\" : L"") + page.fileName;
        // A page that is already right stays as it is: a browser may be
        // showing it, and another copy of the program may be writing it.
        if (!FileHolds(path, bytes) && !WriteWholeFile(path, bytes))
            return false;
    }
    return true;
}

void OpenWebPage(WebPage page) {
    if (PageOpener opener = g_opener)
        opener(WebPagePath(page));
}

void ShowLocalPage(const std::wstring& path) {
    if (!WriteWebPages(path.substr(0, path.find_last_of(L'\\') + 1))) {
        ShowPageError(path);
        return;
    }
    ShellOpenPage(path);
}

void ShellOpenPage(const std::wstring& path) {
    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof(request);
    // The system's own failure dialog would come on top of ours.
    request.fMask = SEE_MASK_FLAG_NO_UI;
    request.lpVerb = L"open";
    request.lpFile = path.c_str();
    request.nShow = SW_SHOW;
    if (!::ShellExecuteExW(&request))
        ShowPageError(path);
}

PageOpener SetPageOpener(PageOpener opener) {
    PageOpener previous = g_opener;
    g_opener = opener;
    return previous;
}
