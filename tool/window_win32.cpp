// The window: three buttons that pick an XML file and check, set or reset its checksum, a
// help button, the version and a progress bar that the library drives while it works.
// Every result goes to standard output; the window itself shows none.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <array>
#include <exception>
#include <optional>
#include <string>

#include "korvalelib.h"
#include "progress_tracker.h"
#include "report.h"
#include "window.h"

namespace korvale {
namespace {

constexpr char kApplicationTitle[] = "Vyr - Korvale";

// The layout is designed at 96 dots per inch and scaled to the screen's.
constexpr int kDesignDpi = 96;
constexpr int kClientWidth = 465;
constexpr int kClientHeight = 64;
constexpr int kScreenLeft = 449;
constexpr int kScreenTop = 142;
constexpr int kProgressBarHeight = 9;
constexpr int kFontPoints = 8;
constexpr COLORREF kSilver = RGB(192, 192, 192);

// Control ids; 1 and 2 stay free, since keyboard navigation sends IDOK and IDCANCEL.
enum ControlId : int {
  kVersionId = 100,
  kCheckId,
  kSetId,
  kResetId,
  kStaticTextId,
  kProgressBarId,
  kHelpId,
};

using FileOperation = int32_t(KORVALELIB_CALL*)(const CountedString*, const ProgressSink*);

HFONT createWindowFont(int dpi, int weight) {
  return CreateFontA(-MulDiv(kFontPoints, dpi, 72), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
}

// Gives a label the size of its text in its own font, keeping its top-left corner.
void fitToText(HWND label) {
  std::array<char, 256> text{};
  const int length = GetWindowTextA(label, text.data(), static_cast<int>(text.size()));
  HDC dc = GetDC(label);
  HGDIOBJ previous =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32A(dc, text.data(), length, &size);
  SelectObject(dc, previous);
  ReleaseDC(label, dc);
  SetWindowPos(label, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Handles a message as the main loop does: dialog keys (Tab, Space, Enter) first.
void dispatch(HWND window, MSG& message) {
  if (IsDialogMessageA(window, &message)) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

// The file-open dialog. It lives as long as the window, so each opening starts at the path
// chosen the time before.
class OpenDialog {
 public:
  // The chosen path, or nothing when the user cancelled.
  std::optional<std::string> execute(HWND owner) {
    std::array<char, 4096> path{};
    fileName_.copy(path.data(), path.size() - 1);
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = owner;
    request.lpstrFilter = "*.xml\0*.xml\0";
    request.nFilterIndex = 1;
    request.lpstrFile = path.data();
    request.nMaxFile = static_cast<DWORD>(path.size());
    // The named file need not exist: the library's report says so if it does not.
    request.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER;
    if (!GetOpenFileNameA(&request)) return std::nullopt;
    fileName_ = path.data();
    return fileName_;
  }

 private:
  std::string fileName_;
};

// The progress bar as the library's ProgressSink. The library reads back the position it
// set; the control hears of a position only when it changes the bar's fill, since every
// message repaints it and a large file sets thousands of positions.
class ProgressBarSink {
 public:
  ProgressBarSink(HWND bar, int width) : bar_(bar), tracker_(width) {}

  ProgressSink sink() { return {this, &setMinimum, &setMaximum, &getPosition, &setPosition}; }

 private:
  static ProgressBarSink& self(void* context) { return *static_cast<ProgressBarSink*>(context); }

  static void KORVALELIB_CALL setMinimum(void* context, int32_t value) {
    self(context).tracker_.setMinimum(value);
    self(context).sendRange();
  }
  static void KORVALELIB_CALL setMaximum(void* context, int32_t value) {
    self(context).tracker_.setMaximum(value);
    self(context).sendRange();
  }
  static int32_t KORVALELIB_CALL getPosition(void* context) {
    return self(context).tracker_.position();
  }
  static void KORVALELIB_CALL setPosition(void* context, int32_t value) {
    ProgressBarSink& sink = self(context);
    if (sink.tracker_.setPosition(value)) {
      SendMessageA(sink.bar_, PBM_SETPOS, static_cast<WPARAM>(sink.tracker_.position()), 0);
    }
  }

  void sendRange() {
    SendMessageA(bar_, PBM_SETRANGE32, static_cast<WPARAM>(tracker_.minimum()),
                 static_cast<LPARAM>(tracker_.maximum()));
  }

  HWND bar_;
  ProgressTracker tracker_;
};

// The window foUnDaBa and its controls.
class TfoUnDaBa {
 public:
  static constexpr char kClassName[] = "TfoUnDaBa";

  // Creates the window, hidden.
  explicit TfoUnDaBa(HINSTANCE instance) {
    HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    font_ = createWindowFont(dpi_, FW_NORMAL);
    boldFont_ = createWindowFont(dpi_, FW_BOLD);

    constexpr DWORD style = WS_CAPTION | WS_SYSMENU | WS_BORDER | WS_CLIPCHILDREN;
    constexpr DWORD exStyle = WS_EX_CONTEXTHELP;
    RECT frame{0, 0, scaled(kClientWidth), scaled(kClientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    CreateWindowExA(exStyle, kClassName, "xxx", style, kScreenLeft, kScreenTop,
                    frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                    this);
  }

  ~TfoUnDaBa() {
    DeleteObject(font_);
    DeleteObject(boldFont_);
  }

  TfoUnDaBa(const TfoUnDaBa&) = delete;
  TfoUnDaBa& operator=(const TfoUnDaBa&) = delete;

  static void registerClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kClassName;
    RegisterClassExA(&windowClass);
  }

  // Shows the window and handles its messages until it is closed.
  int run() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) dispatch(hwnd_, message);
    return 0;
  }

 private:
  int scaled(int pixels) const { return MulDiv(pixels, dpi_, kDesignDpi); }

  HWND createControl(const char* className, const char* text, DWORD style, int id, int left,
                     int top, int width, int height) {
    HWND control = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, left, top,
                                   width, height, hwnd_, reinterpret_cast<HMENU>(INT_PTR{id}),
                                   GetModuleHandleA(nullptr), nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
  }

  HWND createButton(const char* text, int id, int left, int width) {
    return createControl(WC_BUTTONA, text, BS_PUSHBUTTON | WS_TABSTOP, id, scaled(left), scaled(8),
                         scaled(width), scaled(25));
  }

  // The controls in their tab order; creation order is z-order, which Tab follows.
  void createControls() {
    laVersion = createControl(WC_STATICA, "...", SS_LEFT | SS_NOPREFIX, kVersionId, scaled(8),
                              scaled(40), scaled(13), scaled(13));
    SendMessageA(laVersion, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_), FALSE);
    fitToText(laVersion);
    buCheckCRC32inFile = createButton("check CRC32...", kCheckId, 8, 113);
    buSetCRC32inFile = createButton("set CRC32...", kSetId, 136, 113);
    buResetCRC32inFile = createButton("reset CRC32...", kResetId, 264, 113);
    StaticText1 = createControl(WC_STATICA, "Dr-Vyr", SS_LEFT | SS_NOPREFIX, kStaticTextId,
                                scaled(424), scaled(40), scaled(39), scaled(17));
    fitToText(StaticText1);
    // Docked to the bottom edge, across the whole width.
    RECT client;
    GetClientRect(hwnd_, &client);
    const int barHeight = scaled(kProgressBarHeight);
    ProgressBar1 = createControl(PROGRESS_CLASSA, nullptr, 0, kProgressBarId, 0,
                                 client.bottom - barHeight, client.right, barHeight);
    RECT bar;
    GetClientRect(ProgressBar1, &bar);
    progress_.emplace(ProgressBar1, bar.right);
    buHelp = createButton("Help...", kHelpId, 392, 65);
    focus_ = buCheckCRC32inFile;
  }

  static LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* form =
          static_cast<TfoUnDaBa*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
      form->hwnd_ = hwnd;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TfoUnDaBa*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!form) return DefWindowProcA(hwnd, message, wParam, lParam);
    // Nothing may unwind through the system's frames: an error that escapes a handler is
    // shown, and the window carries on.
    try {
      return form->handleMessage(message, wParam, lParam);
    } catch (const std::exception& error) {
      MessageBoxA(hwnd, error.what(), kApplicationTitle, MB_OK | MB_ICONERROR);
      return 0;
    }
  }

  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_CREATE:
        createControls();
        return 0;
      case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
          rememberFocus();
        } else {
          restoreFocus();
          if (!activated_) {
            activated_ = true;
            FormActivate();
          }
        }
        return 0;
      case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) onClick(LOWORD(wParam));
        return 0;
      case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        const bool silver = reinterpret_cast<HWND>(lParam) == StaticText1;
        SetTextColor(dc, silver ? kSilver : GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
      default:
        return DefWindowProcA(hwnd_, message, wParam, lParam);
    }
  }

  void onClick(int id) {
    switch (id) {
      case kCheckId:
        buCheckCRC32inFileClick();
        break;
      case kSetId:
        buSetCRC32inFileClick();
        break;
      case kResetId:
        buResetCRC32inFileClick();
        break;
      case kHelpId:
        buHelpClick();
        break;
    }
  }

  // The window keeps its focused control while another window (the file dialog, an error
  // box) is active.
  void rememberFocus() {
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus)) focus_ = focus;
  }

  void restoreFocus() {
    if (!focus_ || !IsWindowEnabled(focus_)) focus_ = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    SetFocus(focus_ ? focus_ : hwnd_);
  }

  // Runs once, at the first activation: the window has no other that could take the
  // activation from it and give it back as a new one.
  void FormActivate() {
    DUDO66413_reset();
    SetWindowTextA(hwnd_, libraryText(DUDO66413_getFullName).c_str());
    SetWindowTextA(laVersion, ("Version: " + libraryText(DUDO66413_getVersion)).c_str());
    fitToText(laVersion);
    printDisclaimer();
  }

  void buCheckCRC32inFileClick() { runFileAction(DUDO66413_checkCRC32inFile); }
  void buSetCRC32inFileClick() { runFileAction(DUDO66413_setCRC32inFile); }
  void buResetCRC32inFileClick() { runFileAction(DUDO66413_resetCRC32inFile); }
  void buHelpClick() { printHelp(); }

  void enableFileButtons(bool enabled) {
    for (HWND button : {buCheckCRC32inFile, buSetCRC32inFile, buResetCRC32inFile}) {
      EnableWindow(button, enabled);
    }
  }

  // Switches the file buttons off for one action, so that no second one starts during the
  // dialog or the pass over pending messages, and on again however the action ends.
  class FileButtonsOff {
   public:
    explicit FileButtonsOff(TfoUnDaBa& form) : form_(form), focus_(GetFocus()) {
      form_.enableFileButtons(false);
    }
    ~FileButtonsOff() {
      form_.enableFileButtons(true);
      // Disabling the focused button took the focus away; give it back.
      if (focus_ && GetActiveWindow() == form_.hwnd_ && GetFocus() != focus_) SetFocus(focus_);
    }
    FileButtonsOff(const FileButtonsOff&) = delete;
    FileButtonsOff& operator=(const FileButtonsOff&) = delete;

   private:
    TfoUnDaBa& form_;
    HWND focus_;
  };

  void runFileAction(FileOperation operation) {
    const FileButtonsOff buttonsOff(*this);
    const std::optional<std::string> path = OpenDialog1.execute(hwnd_);
    if (!path) return;
    processPendingMessages();  // repaint where the dialog was before the work begins
    CountedString fileName;
    fileName.length = static_cast<unsigned char>(std::min<std::size_t>(path->size(), 255));
    path->copy(fileName.text, fileName.length);
    const ProgressSink sink = progress_->sink();
    operation(&fileName, &sink);  // the report reads the outcome back from the library
    printInfo();
  }

  void processPendingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));  // for the main loop to see
        return;
      }
      dispatch(hwnd_, message);
    }
  }

  HWND hwnd_ = nullptr;
  int dpi_ = kDesignDpi;
  HFONT font_ = nullptr;
  HFONT boldFont_ = nullptr;
  bool activated_ = false;
  HWND focus_ = nullptr;

  HWND laVersion = nullptr;
  HWND buCheckCRC32inFile = nullptr;
  HWND buSetCRC32inFile = nullptr;
  HWND buResetCRC32inFile = nullptr;
  HWND StaticText1 = nullptr;
  HWND ProgressBar1 = nullptr;
  HWND buHelp = nullptr;
  OpenDialog OpenDialog1;
  std::optional<ProgressBarSink> progress_;
};

}  // namespace

int runWindow() {
  const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  TfoUnDaBa::registerClass(instance);
  TfoUnDaBa foUnDaBa(instance);
  return foUnDaBa.run();
}

}  // namespace korvale
