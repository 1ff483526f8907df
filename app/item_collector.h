// One container for one Explorer selection. For "Lock with Tessalock" on
// several selected items Explorer starts one process per item, each with
// "-gather ITEM". The first of them becomes the collector: it holds a named
// mutex and a hidden message-only window, and for a short moment takes the
// items of the others, which arrive as WM_COPYDATA. The others hand their
// items over and end; the collector then opens one encryption dialog for all.
//
// An instance counts itself in a count shared by the session's instances
// while it is on its way to the collector, and the collector does not stop
// while that count is above zero: an instance that is already running is
// never cut off, however slowly it reaches the window. Whoever knows of an
// instance that is still starting may count it too (a test does, for the
// second process it starts).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "framework/message_map.h"
#include "framework/window_impl.h"

namespace item_collection {

// The collector's window class; the window is a message-only window.
constexpr wchar_t kWindowClass[] = L"TessalockItemCollector";
// WM_COPYDATA's dwData for a list of items ("TLK1").
constexpr ULONG_PTR kItemsTag = 0x544C4B31;

// How long the collector waits after the last item came (Explorer starts
// the processes of one selection in quick succession), and how long it
// collects at most, in case an instance that counted itself never arrives.
constexpr DWORD kQuietMs = 700;
constexpr DWORD kLimitMs = 15000;
// How long an instance keeps trying to reach a collector that is starting
// or closing before it shows its items itself.
constexpr DWORD kHandOverPatienceMs = 5000;

// The items as WM_COPYDATA carries them: each NUL-terminated, one after the
// other.
std::wstring PackItems(const std::vector<std::wstring>& items);
// The items of a WM_COPYDATA block; false when the block is not such a list
// (wrong tag, odd size, missing terminator, an empty item).
bool UnpackItems(const COPYDATASTRUCT& block, std::vector<std::wstring>& items);

} // namespace item_collection

// One instance counted as on its way to the collector, for as long as this
// object lives (or until Withdraw).
class ScopedArrivalCount {
public:
    ScopedArrivalCount();
    ~ScopedArrivalCount() { Withdraw(); }
    ScopedArrivalCount(const ScopedArrivalCount&) = delete;
    ScopedArrivalCount& operator=(const ScopedArrivalCount&) = delete;

    void Withdraw();
    // The instances counted right now, in the whole session.
    static LONG Pending();

private:
    bool counted_ = false;
};

class CItemCollector : public CWindowImpl<CItemCollector, CWindow, CWinTraits<0, 0>> {
public:
    static CWndClassInfo& GetWndClassInfo() {
        static CWndClassInfo info{item_collection::kWindowClass, 0, 0, 0, 0, {}};
        return info;
    }

    CItemCollector() = default;
    // Closes the window and gives up the role.
    ~CItemCollector() override;

    // Takes the collector's role and opens the window; false when another
    // instance (or another thread) holds the role, or the window cannot be
    // made.
    bool Open();
    // Items of this instance; an item already collected is not added again.
    void Add(const std::vector<std::wstring>& items);
    // Takes items until none has come for quietMs while no counted instance
    // is on its way, or for limitMs in all; then closes the window and gives
    // up the role, so a later instance starts a collection of its own.
    void Collect(DWORD quietMs, DWORD limitMs);
    const std::vector<std::wstring>& Items() const { return items_; }

    BEGIN_MSG_MAP(CItemCollector)
        MSG_WM_COPYDATA(OnCopyData)
    END_MSG_MAP()

private:
    BOOL OnCopyData(HWND, const COPYDATASTRUCT* block);

    void Close();

    UniqueKernelHandle role_;
    bool ownsRole_ = false;
    std::vector<std::wstring> items_;
    ULONGLONG lastArrival_ = 0;
};

// Hands the items to the collector; true when it took them.
bool HandOverItems(const std::vector<std::wstring>& items);

// What a "-gather" start does with its items: the items to encrypt in this
// process (its own and those handed over by other instances), or none when
// they went to another instance's collection.
std::vector<std::wstring> GatherItems(const std::vector<std::wstring>& own);
