// Message maps: entries are tried in table order, the first handler that
// keeps `handled` set wins, a declining handler passes the message on, a
// chained base map is consulted at its place in the table, commands and
// notifications match on id and code, and alternate maps are separate. The
// typed entries hand each handler its message's arguments unpacked, and the
// handler's answer back as the message's result.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/message_map.h"

namespace {

class BaseMap : public CMessageMap {
public:
    std::string trace;

    BEGIN_MSG_MAP(BaseMap)
        MESSAGE_HANDLER(WM_APP + 2, OnBaseApp2)
        MESSAGE_HANDLER(WM_APP + 1, OnBaseApp1)
    END_MSG_MAP()

    LRESULT OnBaseApp2(UINT, WPARAM, LPARAM, BOOL&) {
        trace += "base2;";
        return 20;
    }
    LRESULT OnBaseApp1(UINT, WPARAM, LPARAM, BOOL&) {
        trace += "base1;";
        return 10;
    }
};

class DerivedMap : public BaseMap {
public:
    BEGIN_MSG_MAP(DerivedMap)
        MESSAGE_HANDLER(WM_APP + 1, OnPeek)
        MESSAGE_HANDLER(WM_APP + 1, OnApp1)
        COMMAND_HANDLER(7, BN_CLICKED, OnClick7)
        COMMAND_ID_HANDLER(8, OnAny8)
        NOTIFY_HANDLER(9, NM_RCLICK, OnRightClick9)
        MESSAGE_HANDLER(WM_APP + 3, OnDecline)
        CHAIN_MSG_MAP(BaseMap)
        MESSAGE_HANDLER(WM_APP + 2, OnLateApp2)
        ALT_MSG_MAP(1)
        MESSAGE_HANDLER(WM_APP + 1, OnAlternate)
    END_MSG_MAP()

    LRESULT OnPeek(UINT, WPARAM, LPARAM, BOOL& handled) {
        trace += "peek;";
        handled = FALSE;
        return 99;
    }
    LRESULT OnApp1(UINT, WPARAM, LPARAM, BOOL&) {
        trace += "derived1;";
        return 11;
    }
    LRESULT OnClick7(WORD code, WORD id, HWND, BOOL&) {
        trace += "click" + std::to_string(id) + "/" + std::to_string(code) + ";";
        return 0;
    }
    LRESULT OnAny8(WORD code, WORD id, HWND, BOOL&) {
        trace += "any" + std::to_string(id) + "/" + std::to_string(code) + ";";
        return 0;
    }
    LRESULT OnRightClick9(int id, LPNMHDR, BOOL&) {
        trace += "rclick" + std::to_string(id) + ";";
        return 5;
    }
    LRESULT OnDecline(UINT, WPARAM, LPARAM, BOOL& handled) {
        trace += "decline;";
        handled = FALSE;
        return 0;
    }
    LRESULT OnLateApp2(UINT, WPARAM, LPARAM, BOOL&) {
        trace += "late2;";
        return 0;
    }
    LRESULT OnAlternate(UINT, WPARAM, LPARAM, BOOL&) {
        trace += "alt;";
        return 1;
    }
};

struct MapCase {
    const char* name;
    UINT msg;
    WORD id;
    UINT code; // command or notification code
    DWORD mapId;
    BOOL handled;
    LRESULT result; // checked when handled
    const char* trace;
};

const MapCase kCases[] = {
    {"DecliningHandlerPassesToNext", WM_APP + 1, 0, 0, 0, TRUE, 11, "peek;derived1;"},
    {"ChainedBaseAnswersAtItsPlace", WM_APP + 2, 0, 0, 0, TRUE, 20, "base2;"},
    {"CommandMatchesIdAndCode", WM_COMMAND, 7, BN_CLICKED, 0, TRUE, 0, "click7/0;"},
    {"CommandWithOtherCodeIsLeft", WM_COMMAND, 7, EN_CHANGE, 0, FALSE, 0, ""},
    {"CommandIdHandlerTakesAnyCode", WM_COMMAND, 8, 5, 0, TRUE, 0, "any8/5;"},
    {"NotifyMatchesIdAndCode", WM_NOTIFY, 9, NM_RCLICK, 0, TRUE, 5, "rclick9;"},
    {"NotifyWithOtherCodeIsLeft", WM_NOTIFY, 9, NM_CLICK, 0, FALSE, 0, ""},
    {"DeclinedEverywhereIsUnhandled", WM_APP + 3, 0, 0, 0, FALSE, 0, "decline;"},
    {"AlternateMapIsSeparate", WM_APP + 1, 0, 0, 1, TRUE, 1, "alt;"},
    {"UnknownMessageIsUnhandled", WM_APP + 4, 0, 0, 0, FALSE, 0, ""},
};

class MessageMapDispatch : public testing::TestWithParam<MapCase> {};

TEST_P(MessageMapDispatch, FollowsTableOrder) {
    const MapCase& c = GetParam();
    DerivedMap map;
    NMHDR header = {nullptr, c.id, c.code};
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    if (c.msg == WM_COMMAND) {
        wParam = MAKEWPARAM(c.id, c.code);
    } else if (c.msg == WM_NOTIFY) {
        wParam = c.id;
        lParam = reinterpret_cast<LPARAM>(&header);
    }
    LRESULT result = -1;
    BOOL handled = map.ProcessWindowMessage(nullptr, c.msg, wParam, lParam, result, c.mapId);
    EXPECT_EQ(handled, c.handled);
    if (c.handled) {
        EXPECT_EQ(result, c.result);
    }
    EXPECT_EQ(map.trace, c.trace);
}

INSTANTIATE_TEST_SUITE_P(Cases, MessageMapDispatch, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<MapCase>& info) {
                             return std::string(info.param.name);
                         });

// One handler per typed entry; each notes what it was given.
class TypedMap : public CMessageMap {
public:
    std::string trace;
    HBRUSH brush = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(0x1234));

    BEGIN_MSG_MAP(TypedMap)
        MSG_WM_CLOSE(OnClose)
        MSG_WM_INITDIALOG(OnInitDialog)
        MSG_WM_SIZE(OnSize)
        MSG_WM_TIMER(OnTimer)
        MSG_WM_ERASEBKGND(OnEraseBackground)
        MSG_WM_CTLCOLORSTATIC(OnCtlColorStatic)
        MSG_WM_DPICHANGED(OnDpiChanged)
        MSG_WM_COPYDATA(OnCopyData)
        ON_COMMAND_CODE(7, BN_CLICKED, OnClick7)
        ON_COMMAND(8, OnAny8)
        ON_NOTIFY(9, NM_RCLICK, OnRightClick9)
    END_MSG_MAP()

    void OnClose() { trace = "close"; }
    BOOL OnInitDialog(HWND focus, LPARAM initParam) {
        trace = "init " + std::to_string(reinterpret_cast<INT_PTR>(focus)) + " " +
                std::to_string(initParam);
        return FALSE;
    }
    void OnSize(UINT type, SIZE size) {
        trace = "size " + std::to_string(type) + " " + std::to_string(size.cx) + "x" +
                std::to_string(size.cy);
    }
    void OnTimer(UINT_PTR id) { trace = "timer " + std::to_string(id); }
    BOOL OnEraseBackground(HDC dc) {
        trace = "erase " + std::to_string(reinterpret_cast<INT_PTR>(dc));
        return TRUE;
    }
    HBRUSH OnCtlColorStatic(HDC dc, HWND control) {
        trace = "colour " + std::to_string(reinterpret_cast<INT_PTR>(dc)) + " " +
                std::to_string(reinterpret_cast<INT_PTR>(control));
        return brush;
    }
    void OnDpiChanged(UINT dpi, const RECT* suggested) {
        trace = "dpi " + std::to_string(dpi) + " " + std::to_string(suggested->left);
    }
    BOOL OnCopyData(HWND sender, const COPYDATASTRUCT* block) {
        trace = "copy " + std::to_string(reinterpret_cast<INT_PTR>(sender)) + " " +
                std::to_string(block->dwData);
        return TRUE;
    }
    void OnClick7(UINT id) { trace = "click " + std::to_string(id); }
    void OnAny8(UINT id) { trace = "any " + std::to_string(id); }
    void OnRightClick9(NMHDR* header) { trace = "rclick " + std::to_string(header->idFrom); }
};

struct TypedCase {
    const char* name;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam; // for WM_DPICHANGED, WM_COPYDATA and WM_NOTIFY the test's own record
    BOOL handled;
    LRESULT result; // checked when handled
    const char* trace;
};

const TypedCase kTypedCases[] = {
    {"CloseTakesNothing", WM_CLOSE, 0, 0, TRUE, 0, "close"},
    {"InitDialogGetsFocusAndParameter", WM_INITDIALOG, 0x44, 1234, TRUE, FALSE, "init 68 1234"},
    {"SizeSplitsTheLowAndHighWords", WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480), TRUE, 0,
     "size 0 640x480"},
    {"TimerGetsItsId", WM_TIMER, 5, 0, TRUE, 0, "timer 5"},
    {"EraseAnswersTheHandlersResult", WM_ERASEBKGND, 0x99, 0, TRUE, TRUE, "erase 153"},
    {"CtlColorAnswersTheBrush", WM_CTLCOLORSTATIC, 0x10, 0x20, TRUE, 0x1234, "colour 16 32"},
    {"DpiChangedGetsTheNewDpiAndPlace", WM_DPICHANGED, MAKEWPARAM(144, 144), 0, TRUE, 0,
     "dpi 144 30"},
    {"CopyDataGetsSenderAndBlock", WM_COPYDATA, 0x66, 0, TRUE, TRUE, "copy 102 77"},
    {"CommandCodeMatchesIdAndCode", WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), 0, TRUE, 0, "click 7"},
    {"CommandCodeLeavesOtherCodes", WM_COMMAND, MAKEWPARAM(7, EN_CHANGE), 0, FALSE, 0, ""},
    {"CommandTakesAnyCode", WM_COMMAND, MAKEWPARAM(8, 5), 0, TRUE, 0, "any 8"},
    {"NotifyGetsTheHeader", WM_NOTIFY, 9, 0, TRUE, 0, "rclick 9"},
    {"OtherMessagesAreLeft", WM_APP, 0, 0, FALSE, 0, ""},
};

class TypedEntries : public testing::TestWithParam<TypedCase> {};

TEST_P(TypedEntries, UnpackTheMessage) {
    const TypedCase& c = GetParam();
    TypedMap map;
    RECT suggested = {30, 40, 50, 60};
    COPYDATASTRUCT block = {77, 0, nullptr};
    NMHDR header = {nullptr, 9, static_cast<UINT>(NM_RCLICK)};
    LPARAM lParam = c.lParam;
    if (c.msg == WM_DPICHANGED)
        lParam = reinterpret_cast<LPARAM>(&suggested);
    else if (c.msg == WM_COPYDATA)
        lParam = reinterpret_cast<LPARAM>(&block);
    else if (c.msg == WM_NOTIFY)
        lParam = reinterpret_cast<LPARAM>(&header);
    LRESULT result = -1;
    BOOL handled = map.ProcessWindowMessage(nullptr, c.msg, c.wParam, lParam, result, 0);
    EXPECT_EQ(handled, c.handled);
    if (c.handled) {
        EXPECT_EQ(result, c.result);
    }
    EXPECT_EQ(map.trace, c.trace);
}

INSTANTIATE_TEST_SUITE_P(Cases, TypedEntries, testing::ValuesIn(kTypedCases),
                         [](const testing::TestParamInfo<TypedCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
