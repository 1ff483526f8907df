// A tooltip with the whole text of a label that can show only part of it.
// The password dialogs' path label holds one line, cut with an ellipsis when
// the items are too long for it; resting the mouse on the label lists every
// item on a line of its own.
#pragma once

#include <windows.h>

#include <string>

// Gives the label (a static with SS_NOTIFY, so that it sees the mouse) a
// tooltip showing text, whose lines are separated by "\r\n". Called once per
// label; the tooltip belongs to the label's dialog and goes with it.
void AddLabelTip(HWND label, const std::wstring& text);
