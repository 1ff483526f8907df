// The command-line dispatcher.
#include "app/dispatch.h"

#include <cwchar>
#include <vector>

#include "app/item_collector.h"
#include "common/message_box.h"
#include "common/res_string.h"
#include "dialogs/dialog_launch.h"
#include "resources/resource.h"

namespace {

bool IsWord(const wchar_t* arg, const wchar_t* word) {
    return std::wcscmp(arg, word) == 0;
}

// "-gather" is what Explorer's verb starts, once per selected item: the items
// of one selection are gathered into one dialog (and one container).
void RunGatheredEncryption(const wchar_t* const* paths, int count, ContainerFormat format) {
    std::vector<std::wstring> items = GatherItems(std::vector<std::wstring>(paths, paths + count));
    if (items.empty())
        return; // handed over to another instance's dialog
    std::vector<const wchar_t*> gathered;
    for (const std::wstring& item : items)
        gathered.push_back(item.c_str());
    RunEncryptDialog(gathered.data(), static_cast<int>(gathered.size()), format);
}

void ShowAlreadyEncrypted() {
    ShowUncaptionedInfoBox(LoadResString(IDS_ALREADY_ENCRYPTED));
}

} // namespace

bool IsContainerPath(const std::wstring& path) {
    // The system's ordinal comparison without case is the one the file
    // system uses for names; a locale-aware one could differ (Turkish i).
    return ::CompareStringOrdinal(GetExtension(path).c_str(), -1, kContainerExtension, -1, TRUE) ==
           CSTR_EQUAL;
}

std::wstring GetExtension(const std::wstring& path) {
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos)
        return std::wstring();
    return path.substr(dot);
}

void DispatchCommandLine(const wchar_t* const* args, int count) {
    // The old format, for older copies of the program, only when asked for
    // in so many words; reading never depends on it.
    ContainerFormat format = ContainerFormat::Authenticated;
    if (count >= 2 && IsWord(args[0], kLegacyFormatSwitch)) {
        format = ContainerFormat::Legacy;
        ++args;
        --count;
    }
    // A start from a prompt or a script opens its own dialog at once; only
    // Explorer's starts, which come one per selected item, are gathered.
    const bool enc = count >= 2 && IsWord(args[0], L"-enc");
    const bool gather = count >= 2 && IsWord(args[0], L"-gather");
    if (enc || gather) {
        // Only the first path is looked at; later ones are packed as they are.
        if (IsContainerPath(args[1]))
            ShowAlreadyEncrypted();
        else if (gather)
            RunGatheredEncryption(args + 1, count - 1, format);
        else
            RunEncryptDialog(args + 1, count - 1, format);
        return;
    }
    if (count == 2 && IsWord(args[0], L"-dec")) {
        RunDecryptDialog(args[1]);
        return;
    }
    if (count == 1 && IsContainerPath(args[0])) {
        RunDecryptDialog(args[0]);
        return;
    }
    RunEncryptDialog(args, count, format);
}
