// CUpdateUI: command-state bookkeeping for a frame. A frame lists the
// commands whose state it manages in its update map; the program's frame
// manages none, so its map is empty and UIEnable finds nothing to change.
//
//     BEGIN_UPDATE_UI_MAP(CMainFrame)
//     END_UPDATE_UI_MAP()
#pragma once

#include <windows.h>

struct CUpdateUIMapEntry {
    WORD id;
    WORD type;
};

// clang-format off
#define BEGIN_UPDATE_UI_MAP(theClass)                                                              \
public:                                                                                            \
    static const CUpdateUIMapEntry* GetUpdateUIMap() {                                             \
        static const CUpdateUIMapEntry map[] = {

#define UPDATE_ELEMENT(id, type) {static_cast<WORD>(id), static_cast<WORD>(type)},

#define END_UPDATE_UI_MAP()                                                                        \
            {0, 0}};                                                                               \
        return map;                                                                                \
    }
// clang-format on

template <class T> class CUpdateUI {
public:
    enum { UPDUI_MENUPOPUP = 0x0001 };

    // Enables or disables a command listed in the map; false if not listed.
    bool UIEnable(int id, bool enable) {
        for (const CUpdateUIMapEntry* e = T::GetUpdateUIMap(); e->id != 0; ++e) {
            if (e->id == id) {
                HMENU menu = ::GetMenu(static_cast<T*>(this)->m_hWnd);
                if (menu && (e->type & UPDUI_MENUPOPUP))
                    ::EnableMenuItem(menu, id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
                return true;
            }
        }
        return false;
    }
};
