// Gathering the items of several "-gather" starts into one collection: the
// WM_COPYDATA block, the collector's role and window, the hand-over from
// another thread standing in for another instance, and the end of a
// collection. Every instance that is on its way is counted first, so no
// test depends on how fast a thread or process gets going.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/item_collector.h"
#include "support/robot.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;
using item_collection::kItemsTag;
using Items = std::vector<std::wstring>;

namespace {

struct BlockCase {
    const char* name;
    ULONG_PTR tag;
    std::wstring text; // what the block carries, NULs included
    bool accepted;
    Items items;
};

TEST(ItemsBlock, CarriesNulTerminatedItemsAndNothingElse) {
    using namespace std::string_literals;
    const BlockCase cases[] = {
        {"one item", kItemsTag, L"C:\\a b\\c.txt\0"s, true, {L"C:\\a b\\c.txt"}},
        {"two items", kItemsTag, L"C:\\a\0D:\\b\\\0"s, true, {L"C:\\a", L"D:\\b\\"}},
        {"another program's data", 7, L"C:\\a\0"s, false, {}},
        {"no terminator", kItemsTag, L"C:\\a"s, false, {}},
        {"an empty item", kItemsTag, L"C:\\a\0\0"s, false, {}},
        {"nothing", kItemsTag, L""s, false, {}},
    };
    for (const BlockCase& c : cases) {
        COPYDATASTRUCT block = {c.tag, static_cast<DWORD>(c.text.size() * sizeof(wchar_t)),
                                const_cast<wchar_t*>(c.text.data())};
        Items items;
        EXPECT_EQ(item_collection::UnpackItems(block, items), c.accepted) << c.name;
        EXPECT_EQ(items, c.items) << c.name;
    }
    // An odd number of bytes is no list of wide characters.
    std::wstring text = L"C:\\a";
    text += L'\0';
    COPYDATASTRUCT odd = {kItemsTag, static_cast<DWORD>(text.size() * sizeof(wchar_t) - 1),
                          &text[0]};
    Items items;
    EXPECT_FALSE(item_collection::UnpackItems(odd, items));
    // What is packed is unpacked unchanged.
    const Items sent = {L"C:\\x y", L"\\\\server\\share\\z"};
    std::wstring packed = item_collection::PackItems(sent);
    COPYDATASTRUCT block = {kItemsTag, static_cast<DWORD>(packed.size() * sizeof(wchar_t)),
                            &packed[0]};
    ASSERT_TRUE(item_collection::UnpackItems(block, items));
    EXPECT_EQ(items, sent);
}

// A collector running on a thread of its own, as the first instance would.
class CollectorThread {
public:
    CollectorThread(Items own, DWORD quietMs, DWORD limitMs)
        : thread_([this, own, quietMs, limitMs] {
              CItemCollector collector;
              opened_ = collector.Open();
              if (opened_) {
                  collector.Add(own);
                  window_ = collector.m_hWnd;
              }
              ready_ = true;
              if (!opened_)
                  return;
              collector.Collect(quietMs, limitMs);
              items_ = collector.Items();
          }) {
        WaitUntil([this] { return ready_.load(); });
    }
    ~CollectorThread() { Join(); }

    bool Opened() const { return opened_; }
    HWND Window() const { return window_; }
    // Waits until the collection has ended and returns what it gathered.
    Items Join() {
        if (thread_.joinable())
            thread_.join();
        return items_;
    }

private:
    std::atomic<bool> ready_{false};
    std::atomic<bool> opened_{false};
    std::atomic<HWND> window_{nullptr};
    Items items_;
    std::thread thread_;
};

TEST(ItemCollector, TakesWhatOtherInstancesHandOverThenMakesWayForTheNext) {
    // This thread stands for a second instance: it counts itself before the
    // collection starts, so the collection cannot end before the hand-over.
    ScopedArrivalCount arrival;
    CollectorThread first({L"C:\\own.txt"}, 200, 60000);
    ASSERT_TRUE(first.Opened());

    // The role is taken: a second collector cannot open.
    CItemCollector second;
    EXPECT_FALSE(second.Open());
    EXPECT_EQ(second.m_hWnd, nullptr);

    EXPECT_TRUE(HandOverItems({L"C:\\a.txt", L"D:\\b\\"}));
    EXPECT_TRUE(HandOverItems({L"C:\\own.txt"})); // already there: not twice
    // Data that is no item list is refused and changes nothing.
    std::wstring junk = L"C:\\junk.txt";
    junk += L'\0';
    COPYDATASTRUCT other = {1, static_cast<DWORD>(junk.size() * sizeof(wchar_t)), &junk[0]};
    EXPECT_EQ(::SendMessageW(first.Window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&other)),
              FALSE);
    arrival.Withdraw();

    EXPECT_EQ(first.Join(), (Items{L"C:\\own.txt", L"C:\\a.txt", L"D:\\b\\"}));
    // Once it has ended, nothing is taken any more, and the next instance
    // becomes a collector itself.
    EXPECT_FALSE(HandOverItems({L"C:\\late.txt"}));
    CItemCollector next;
    EXPECT_TRUE(next.Open());
}

TEST(ItemCollector, EndsAtItsLimitWhenACountedInstanceNeverComes) {
    ScopedArrivalCount neverComes;
    ULONGLONG start = ::GetTickCount64();
    CollectorThread collector({L"C:\\own.txt"}, 50, 500);
    ASSERT_TRUE(collector.Opened());
    EXPECT_EQ(collector.Join(), Items{L"C:\\own.txt"});
    EXPECT_GE(::GetTickCount64() - start, 500u);
}

} // namespace
