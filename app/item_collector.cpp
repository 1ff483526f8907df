// The collector's role, window and loop, the shared count of instances on
// their way, and the hand-over.
#include "app/item_collector.h"

#include "engine/paths.h"

#include <algorithm>

namespace {

// Per session ("Local\"): Explorer starts the instances of one selection in
// the user's own session.
constexpr wchar_t kRoleName[] = L"Local\\Tessalock.ItemCollection";
constexpr wchar_t kCountName[] = L"Local\\Tessalock.ItemCollection.Arrivals";

// The session's count, mapped once per process and kept until it ends. The
// count lives as long as one instance has it mapped.
class CSessionCount {
public:
    CSessionCount()
        : mapping_(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(LONG), kCountName)) {
        if (mapping_)
            view_.Reset(::MapViewOfFile(mapping_.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0,
                                        sizeof(LONG)));
    }

    // Without the shared page nobody can be waited for: the count is 0.
    LONG Add(LONG delta) {
        LONG* value = static_cast<LONG*>(view_.Get());
        return value ? ::InterlockedExchangeAdd(value, delta) + delta : 0;
    }
    LONG Value() { return Add(0); }

private:
    UniqueKernelHandle mapping_;
    UniqueMappedView view_;
};

CSessionCount& Count() {
    static CSessionCount count;
    return count;
}

} // namespace

namespace item_collection {

std::wstring PackItems(const std::vector<std::wstring>& items) {
    std::wstring packed;
    for (const std::wstring& item : items) {
        packed += item;
        packed += L'\0';
    }
    return packed;
}

bool UnpackItems(const COPYDATASTRUCT& block, std::vector<std::wstring>& items) {
    if (block.dwData != kItemsTag || block.cbData == 0 || block.cbData % sizeof(wchar_t) != 0 ||
        !block.lpData)
        return false;
    const wchar_t* text = static_cast<const wchar_t*>(block.lpData);
    const size_t length = block.cbData / sizeof(wchar_t);
    if (text[length - 1] != L'\0')
        return false;
    std::vector<std::wstring> found;
    for (size_t start = 0; start < length;) {
        size_t end = std::find(text + start, text + length, L'\0') - text;
        if (end == start)
            return false;
        found.emplace_back(text + start, end - start);
        start = end + 1;
    }
    items.insert(items.end(), found.begin(), found.end());
    return true;
}

} // namespace item_collection

ScopedArrivalCount::ScopedArrivalCount() {
    Count().Add(1);
    counted_ = true;
}

void ScopedArrivalCount::Withdraw() {
    if (counted_)
        Count().Add(-1);
    counted_ = false;
}

LONG ScopedArrivalCount::Pending() {
    return Count().Value();
}

CItemCollector::~CItemCollector() {
    Close();
}

bool CItemCollector::Open() {
    role_.Reset(::CreateMutexW(nullptr, FALSE, kRoleName));
    if (!role_)
        return false;
    // An instance that ended while collecting left the role abandoned: it
    // is free again.
    DWORD wait = ::WaitForSingleObject(role_.Get(), 0);
    ownsRole_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (!ownsRole_ || !Create(HWND_MESSAGE)) {
        Close();
        return false;
    }
    return true;
}

void CItemCollector::Add(const std::vector<std::wstring>& items) {
    for (const std::wstring& item : items) {
        if (std::find(items_.begin(), items_.end(), item) == items_.end())
            items_.push_back(item);
    }
}

void CItemCollector::Collect(DWORD quietMs, DWORD limitMs) {
    const ULONGLONG start = ::GetTickCount64();
    lastArrival_ = start;
    for (;;) {
        // Items come as sent messages, which PeekMessage delivers.
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                Close();
                return;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now - start >= limitMs)
            break;
        if (now - lastArrival_ >= quietMs && ScopedArrivalCount::Pending() <= 0)
            break;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    Close();
}

void CItemCollector::Close() {
    // The window goes first: an instance that finds no window while the
    // role is still held waits a moment and then takes the free role.
    if (m_hWnd)
        DestroyWindow();
    if (ownsRole_)
        ::ReleaseMutex(role_.Get());
    ownsRole_ = false;
    role_.Reset();
}

BOOL CItemCollector::OnCopyData(HWND, const COPYDATASTRUCT* block) {
    std::vector<std::wstring> items;
    if (!block || !item_collection::UnpackItems(*block, items))
        return FALSE;
    Add(items);
    lastArrival_ = ::GetTickCount64();
    return TRUE;
}

bool HandOverItems(const std::vector<std::wstring>& items) {
    HWND collector = ::FindWindowExW(HWND_MESSAGE, nullptr, item_collection::kWindowClass, nullptr);
    if (!collector)
        return false;
    std::wstring packed = item_collection::PackItems(items);
    COPYDATASTRUCT block = {item_collection::kItemsTag,
                            static_cast<DWORD>(packed.size() * sizeof(wchar_t)), &packed[0]};
    DWORD_PTR accepted = FALSE;
    // A collector that closes meanwhile answers nothing: not taken.
    if (!::SendMessageTimeoutW(collector, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&block),
                               SMTO_ABORTIFHUNG, 5000, &accepted))
        return false;
    return accepted == TRUE;
}

std::vector<std::wstring> GatherItems(const std::vector<std::wstring>& own) {
    ScopedArrivalCount arrival;
    // An item handed to another process must not depend on this one's
    // current folder.
    std::vector<std::wstring> handOver;
    for (const std::wstring& item : own)
        handOver.push_back(GetFullPath(item));
    const ULONGLONG start = ::GetTickCount64();
    for (;;) {
        CItemCollector collector;
        if (collector.Open()) {
            arrival.Withdraw();
            collector.Add(own);
            collector.Collect(item_collection::kQuietMs, item_collection::kLimitMs);
            return collector.Items();
        }
        if (HandOverItems(handOver))
            return {};
        // The collector is starting or closing. Rather than lose the items,
        // show them in a dialog of their own after a while.
        if (::GetTickCount64() - start >= item_collection::kHandOverPatienceMs)
            return own;
        ::Sleep(20);
    }
}
