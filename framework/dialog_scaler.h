// CDialogScaler: keeps a dialog built from a template right at any DPI. When
// the dialog starts it records where the dialog manager put each control and
// which font it used, for the DPI the dialog was created at. When the dialog
// moves to a monitor with another DPI it builds the template's font for the
// new DPI, reloads the icons of icon controls at the new size, and scales
// every place from the records (never from the last scaled values, so going
// back and forth does not drift).
//
// CDialogImpl owns one per dialog and applies it to WM_DPICHANGED when the
// dialog's message map leaves that message alone; dialogs with a layout of
// their own use its font, sizes and DPI.
#pragma once

#include <windows.h>

#include <vector>

#include "common/unique_handle.h"

class CDialogScaler {
public:
    CDialogScaler() = default;
    CDialogScaler(const CDialogScaler&) = delete;
    CDialogScaler& operator=(const CDialogScaler&) = delete;

    // Records the dialog's controls, client size, font and DPI as they are
    // now; called once the dialog has initialised.
    void Capture(HWND dialog);
    bool IsCaptured() const { return dialog_ != nullptr; }

    // The DPI the dialog is laid out for now, and the one it was created at.
    UINT Dpi() const { return dpi_; }
    UINT CreationDpi() const { return creationDpi_; }

    // A control's size as the template gave it, at the current DPI; a
    // control created later than the capture keeps its current size.
    SIZE ScaledSize(HWND control) const;
    // The dialog's client size as the template gave it, at the current DPI.
    SIZE ScaledClientSize() const;

    // Switches to another DPI: the template's font at that DPI on the dialog
    // and every control, icons reloaded at their new size. Moves nothing.
    void SetDpi(UINT dpi);

    // The template's layout at the current DPI: every recorded control at its
    // scaled place, and (for a top-level dialog) the window sized for the
    // scaled client area with its top left corner at the suggested
    // rectangle's, or where it is.
    void ApplyTemplateLayout(const RECT* suggested);

private:
    struct Control {
        HWND hwnd;
        RECT rect;  // in the dialog's client area, at the creation DPI
        HICON icon; // the icon an icon control was created with, else null
    };

    const Control* Find(HWND control) const;
    RECT Scaled(const RECT& r) const;
    void ApplyFont();
    void ApplyIcons();

    HWND dialog_ = nullptr;
    UINT creationDpi_ = 96;
    UINT dpi_ = 96;
    SIZE creationClient_ = {0, 0};
    std::vector<Control> controls_;
    HFONT creationFont_ = nullptr; // the dialog manager's, not ours
    LOGFONTW fontDescription_ = {};
    UniqueFont font_;               // the font for a DPI other than the creation DPI
    std::vector<UniqueIcon> icons_; // icons loaded at a scaled size
};
