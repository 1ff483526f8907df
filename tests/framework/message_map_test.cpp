// Message maps: entries are tried in table order, the first handler that
// keeps `handled` set wins, a declining handler passes the message on, a
// chained base map is consulted at its place in the table, commands and
// notifications match on id and code, and alternate maps are separate.
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

} // namespace
