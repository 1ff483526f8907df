// The progress window. A job's worker thread reports through
// zelprogress::IProgressUpdate, whose calls only store numbers in atomics;
// the window reads them on a one-second timer and shows the percentage in a
// bar and a label. Closing the window before the job has finished is the
// user's cancel, which the worker sees through IsCancelled. Its fixed pixel
// layout is for 96 DPI and scaled to the DPI of the monitor it is on.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include "common/progress_update.h"
#include "common/unique_handle.h"
#include "dialogs/closable_dialog.h"
#include "framework/dialog_impl.h"
#include "framework/dpi.h"
#include "framework/message_map.h"
#include "framework/window.h"
#include "resources/resource.h"

namespace zelprogress {

// Percentage for total and current: 0 for a zero total, otherwise
// current * 100 / total in 64-bit unsigned arithmetic (the product wraps),
// truncated. Not clamped: more than announced reads above 100.
uint64_t ProgressPercent(uint64_t total, uint64_t current);

// The label text for a percentage: "%d %%" of its signed 32-bit value.
std::wstring ProgressLabel(uint64_t percent);

// Implements the reporting interface on top of the dialog T that derives
// from it; T supplies the window (m_hWnd, EndDialog).
template <class T> class CProgressUpdaterDlg : public CMessageMap, public IProgressUpdate {
public:
    CProgressUpdaterDlg(int width, int height)
        : width_(width), height_(height), background_(RGB(220, 230, 244)),
          brush_(::CreateSolidBrush(background_)) {}
    ~CProgressUpdaterDlg() override = default;

    // Worker side: stores only.
    void SetTotal(uint64_t total) override { total_.store(total, std::memory_order_relaxed); }
    void SetCurrent(uint64_t current, uint64_t) override {
        current_.store(current, std::memory_order_relaxed);
    }
    void SetFinished(int32_t) override { finished_.store(true, std::memory_order_relaxed); }
    bool IsCancelled() override { return cancelled_.load(std::memory_order_relaxed); }
    uint64_t GetCurrent() override { return current_.load(std::memory_order_relaxed); }

    BEGIN_MSG_MAP(CProgressUpdaterDlg)
        MSG_WM_INITDIALOG(OnInitDialog)
        MSG_WM_ERASEBKGND(OnEraseBackground)
        MSG_WM_CTLCOLORSTATIC(OnCtlColorStatic)
        MSG_WM_CLOSE(OnClose)
        MSG_WM_TIMER(OnTimer)
        MSG_WM_DPICHANGED(OnDpiChanged)
    END_MSG_MAP()

    BOOL OnInitDialog(HWND, LPARAM) {
        CWindow dialog(Dialog().m_hWnd);
        dialog.SetWindowText(caption_);
        progressBar_ = ::CreateWindowExW(0, L"msctls_progress32", nullptr, WS_CHILD | WS_VISIBLE, 0,
                                         0, 0, 0, dialog, nullptr, nullptr, nullptr);
        progressBar_.ShowWindow(SW_SHOW);
        percentLabel_ = ::CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_CENTER,
                                          0, 0, 0, 0, dialog, nullptr, nullptr, nullptr);
        percentLabel_.SetWindowText(L"0 %");
        percentLabel_.ShowWindow(SW_SHOW);
        // A new label has no font yet, so the description stays zero apart
        // from the size and weight set for each DPI.
        if (HFONT current = percentLabel_.GetFont())
            ::GetObjectW(current, sizeof(labelFontDescription_), &labelFontDescription_);
        dpi_ = DpiOfWindow(dialog);
        Place(nullptr);
        timerId_ = dialog.SetTimer(1, 1000);
        return TRUE;
    }

    // Moved to a monitor with another DPI: the same layout at the new DPI,
    // where the system suggests.
    void OnDpiChanged(UINT dpi, const RECT* suggested) {
        dpi_ = dpi;
        Place(suggested);
    }

    // The whole client area: above 96 DPI it is larger than width x height.
    BOOL OnEraseBackground(HDC dc) {
        RECT area = {};
        ::GetClientRect(Dialog().m_hWnd, &area);
        ::FillRect(dc, &area, brush_.Get());
        return FALSE;
    }

    HBRUSH OnCtlColorStatic(HDC dc, HWND) {
        ::SetBkMode(dc, TRANSPARENT);
        return brush_.Get();
    }

    // The window's end code is the same either way: whether the job finished
    // or was cancelled is read from this object, not from the code.
    void OnClose() {
        if (!finished_.load(std::memory_order_relaxed))
            cancelled_.store(true, std::memory_order_relaxed);
        T& dialog = Dialog();
        dialog.EndDialog(kDialogJobDone);
        dialog.DestroyWindow();
    }

    // Any timer id ticks: the dialog starts only the one.
    void OnTimer(UINT_PTR) {
        if (finished_.load(std::memory_order_relaxed)) {
            current_.store(total_.load(std::memory_order_relaxed), std::memory_order_relaxed);
            Refresh();
            ::KillTimer(Dialog().m_hWnd, timerId_);
            ::PostMessageW(Dialog().m_hWnd, WM_CLOSE, 0, 0);
        } else {
            Refresh();
        }
    }

protected:
    // The window at width x height (pixels at 96 DPI, scaled), centred on the
    // primary screen or at the suggested place, made taller only where the
    // system's caption leaves too little room for the bar and the label. The
    // bar is centred on the window's width and the label spans it, as at
    // 96 DPI, so every DPI shows the same picture scaled; the label's font
    // is 12 pixels high.
    void Place(const RECT* suggested) {
        auto scale = [this](int value) { return ScaleForDpi(value, dpi_); };
        CWindow dialog(Dialog().m_hWnd);
        int width = scale(width_);
        int height = scale(height_);
        int left = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        int top = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
        if (suggested) {
            left = suggested->left;
            top = suggested->top;
        }
        dialog.MoveWindow(left, top, width, height, true);
        RECT client = {};
        dialog.GetClientRect(&client);
        const int needed = scale(kLabelTop + kLabelHeight + kBottomMargin);
        if (client.bottom < needed)
            dialog.MoveWindow(left, top, width, height + needed - client.bottom, true);

        int barWidth = static_cast<int>(width * 0.8);
        progressBar_.MoveWindow((width - barWidth) / 2, scale(kBarTop), barWidth, scale(kBarHeight),
                                true);
        LOGFONTW description = labelFontDescription_;
        description.lfHeight = -scale(12);
        description.lfWeight = 100;
        UniqueFont font(::CreateFontIndirectW(&description));
        percentLabel_.SetFont(font.Get(), true);
        labelFont_ = std::move(font);
        percentLabel_.MoveWindow(0, scale(kLabelTop), width, scale(kLabelHeight), true);
    }

    void Refresh() {
        uint64_t percent = ProgressPercent(total_.load(std::memory_order_relaxed),
                                           current_.load(std::memory_order_relaxed));
        progressBar_.SendMessage(PBM_SETPOS, static_cast<WPARAM>(static_cast<int32_t>(percent)));
        percentLabel_.SetWindowText(ProgressLabel(percent));
    }

    T& Dialog() { return *static_cast<T*>(this); }

    // Places within the client area, in pixels at 96 DPI.
    static constexpr int kBarTop = 10;
    static constexpr int kBarHeight = 15;
    static constexpr int kLabelTop = 30;
    static constexpr int kLabelHeight = 20;
    static constexpr int kBottomMargin = 5;

    CWindow progressBar_;
    CWindow percentLabel_;
    int width_;
    int height_;
    COLORREF background_;
    UniqueBrush brush_;
    UINT_PTR timerId_ = 0;
    std::wstring caption_;
    std::atomic<uint64_t> total_{0};
    std::atomic<uint64_t> current_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> cancelled_{false};
    UniqueFont labelFont_;
    LOGFONTW labelFontDescription_ = {};
    UINT dpi_ = kDesignDpi;
};

} // namespace zelprogress

// The progress window of the jobs: template 203, always 350 x 85 pixels with
// an empty caption. It has no buttons; Escape and Enter do nothing.
class CDialogProgress : public CDialogImpl<CDialogProgress>,
                        public zelprogress::CProgressUpdaterDlg<CDialogProgress> {
public:
    enum { IDD = IDD_PROGRESS };

    CDialogProgress() : CProgressUpdaterDlg(350, 85) {}

    BEGIN_MSG_MAP(CDialogProgress)
        CHAIN_MSG_MAP(zelprogress::CProgressUpdaterDlg<CDialogProgress>)
    END_MSG_MAP()
};
