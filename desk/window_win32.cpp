// The results window: a virtual list of the files worked on (the model in results.h asks
// nothing of the window), the work on the engine's threads (work.h), and the window's commands
// from one table, reached by the menu, the context menu and the keyboard. Later starts of the
// program hand their requests to it (instance_win32.h): their paths join the queue, and the
// files found for a request to stamp are stamped after a question.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "results.h"
#include "wide_win32.h"
#include "window.h"
#include "work.h"

namespace korvale::desk {
namespace {

constexpr wchar_t kClassName[] = L"KorvaleDesk";
constexpr wchar_t kTitle[] = L"Korvale Desk";
constexpr wchar_t kSettingsKey[] = L"Software\\Korvale\\Desk";
constexpr int kDesignDpi = 96;
constexpr UINT_PTR kWorkTimer = 1;
constexpr UINT kWorkInterval = 100;  // ms between looks at the workers' results
constexpr UINT_PTR kStampTimer = 2;
// ms without new files to stamp before the question: Explorer may start the program once per
// file selected, and one question should name them all.
constexpr UINT kStampSettle = 750;
constexpr UINT kComeForward = WM_APP + 1;
// Set on the window while it has work in hand or to ask about (paths queued, a check or stamp
// running, a stamp waiting for its question or its answer); tests read it from outside.
constexpr wchar_t kBusyProperty[] = L"KorvaleDesk.Busy";

enum CommandId : WORD {
  kOpenFiles = 100,
  kOpenFolder,
  kExport,
  kExit,
  kCheckAgain,
  kStamp,
  kReset,
  kCopy,
  kSelectAll,
  kShowFolder,
  kRemove,
  kProblemsOnly,
  kUserGuide,
  kCancel,
  kListId,
  kStatusId,
  kProgressId,
};

// The commands that act on the selected rows: the Actions menu, also the context menu.
struct MenuItem {
  WORD id;  // 0: a separator
  const wchar_t* text;
};
constexpr MenuItem kFileMenu[] = {{kOpenFiles, L"&Open files...\tCtrl+O"},
                                  {kOpenFolder, L"Open &folder...\tCtrl+Shift+O"},
                                  {kExport, L"&Export results...\tCtrl+E"},
                                  {0, nullptr},
                                  {kExit, L"E&xit"}};
constexpr MenuItem kActionsMenu[] = {{kCheckAgain, L"&Check again\tF5"},
                                     {kStamp, L"&Stamp"},
                                     {kReset, L"&Reset..."},
                                     {0, nullptr},
                                     {kCopy, L"&Copy\tCtrl+C"},
                                     {kSelectAll, L"Select &all\tCtrl+A"},
                                     {0, nullptr},
                                     {kShowFolder, L"Open containing &folder"},
                                     {kRemove, L"Re&move from list\tDel"}};
constexpr MenuItem kViewMenu[] = {{kProblemsOnly, L"&Problems only\tCtrl+P"}};
constexpr MenuItem kHelpMenu[] = {{kUserGuide, L"&User guide\tF1"}};

constexpr ACCEL kKeys[] = {
    {FVIRTKEY | FCONTROL, 'O', kOpenFiles}, {FVIRTKEY | FCONTROL | FSHIFT, 'O', kOpenFolder},
    {FVIRTKEY | FCONTROL, 'E', kExport},    {FVIRTKEY, VK_F5, kCheckAgain},
    {FVIRTKEY | FCONTROL, 'C', kCopy},      {FVIRTKEY | FCONTROL, 'A', kSelectAll},
    {FVIRTKEY, VK_DELETE, kRemove},         {FVIRTKEY | FCONTROL, 'P', kProblemsOnly},
    {FVIRTKEY, VK_F1, kUserGuide},          {FVIRTKEY, VK_ESCAPE, kCancel},
};

// Column widths at 96 dots per inch.
constexpr std::array<int, kColumnCount> kDefaultWidths = {200, 220, 140, 95, 95, 330};

std::wstring wide(std::string_view text) { return engine::wideFromPath(std::string(text)); }

HMENU buildMenu(std::span<const MenuItem> items) {
  HMENU menu = CreatePopupMenu();
  for (const MenuItem& item : items) {
    if (item.id == 0) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuW(menu, MF_STRING, item.id, item.text);
    }
  }
  return menu;
}

// The icon of each result: a disc whose colour says how bad it is.
int iconOf(int32_t code) {
  switch (code) {
    case kOk:
      return 0;
    case kCrcEmpty:
      return 1;
    case kCrcDifferent:
      return 2;
    case kNoIdentifier:
    case kFieldUnreadable:
    case kFieldUnwritable:
      return 3;
  }
  return 4;
}

HIMAGELIST makeIcons(int dpi) {
  constexpr COLORREF kColours[] = {RGB(0, 150, 60), RGB(150, 150, 150), RGB(215, 40, 30),
                                   RGB(240, 150, 0), RGB(120, 0, 0)};
  constexpr COLORREF kKey = RGB(255, 0, 255);
  const int size = MulDiv(16, dpi, kDesignDpi);
  HIMAGELIST icons = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 5, 0);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  for (const COLORREF colour : kColours) {
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ previousBitmap = SelectObject(dc, bitmap);
    HBRUSH key = CreateSolidBrush(kKey);
    const RECT all{0, 0, size, size};
    FillRect(dc, &all, key);
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ previousBrush = SelectObject(dc, brush);
    HGDIOBJ previousPen = SelectObject(dc, GetStockObject(NULL_PEN));
    const int inset = size / 8;
    Ellipse(dc, inset, inset, size - inset + 1, size - inset + 1);
    SelectObject(dc, previousPen);
    SelectObject(dc, previousBrush);
    SelectObject(dc, previousBitmap);
    ImageList_AddMasked(icons, bitmap, kKey);
    DeleteObject(brush);
    DeleteObject(key);
    DeleteObject(bitmap);
  }
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return icons;
}

// The settings the window keeps between runs, under HKCU.
class Settings {
 public:
  Settings() {
    RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                    &key_, nullptr);
  }
  ~Settings() {
    if (key_) RegCloseKey(key_);
  }
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;

  template <typename T>
  bool read(const wchar_t* name, T& value) const {
    DWORD size = sizeof value;
    DWORD type = 0;
    return key_ &&
           RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
               ERROR_SUCCESS &&
           type == REG_BINARY && size == sizeof value;
  }
  template <typename T>
  void write(const wchar_t* name, const T& value) {
    if (key_) {
      RegSetValueExW(key_, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&value),
                     sizeof value);
    }
  }
  std::wstring readText(const wchar_t* name) const {
    std::array<wchar_t, 32768> text{};
    DWORD size = sizeof(wchar_t) * (text.size() - 1);
    DWORD type = 0;
    if (!key_ ||
        RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
      return {};
    }
    return text.data();
  }
  void writeText(const wchar_t* name, const std::wstring& text) {
    if (key_) {
      RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
  }

 private:
  HKEY key_ = nullptr;
};

class DeskWindow {
 public:
  DeskWindow(Request first, SingleInstance& instance) : instance_(instance) { enqueue(first); }

  HWND create(int show);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  HWND window() const { return window_; }
  // Before the first message that needs it (WM_CREATE comes before CreateWindowEx returns).
  void attach(HWND window) { window_ = window; }

 private:
  void createControls();
  void applyDpi(int dpi);
  void layout();
  void enqueue(const Request& request);
  bool receive(const COPYDATASTRUCT* data);
  void comeForward();
  void startQueued();
  void startJob(std::unique_ptr<Job> job, bool stampFound = false);
  void askToStamp();
  bool idle() const { return !job_ && pendingStamp_.empty() && !asking_; }
  void showBusy();
  void collect();
  void refreshList(const std::vector<std::size_t>& selectStored);
  void showStatus();
  void command(WORD id);
  void updateMenu(HMENU menu);
  std::vector<std::size_t> selectedPlaces() const;
  std::vector<std::size_t> selectedStored() const;
  std::vector<const Row*> selectedRows() const;
  void rework(Operation operation);
  void openFiles();
  void openFolder();
  void exportResults();
  void copySelection();
  void showContainingFolder();
  void openUserGuide();
  void rememberFolder(const std::wstring& folder) { lastFolder_ = folder; }
  void saveSettings();
  void onGetDispInfo(NMLVDISPINFOW& info);
  void onColumnClick(int column);

  HWND window_ = nullptr, list_ = nullptr, status_ = nullptr, progress_ = nullptr,
       cancel_ = nullptr;
  HMENU actionsMenu_ = nullptr;
  HFONT font_ = nullptr;
  HIMAGELIST icons_ = nullptr;
  int dpi_ = kDesignDpi;
  std::array<int, kColumnCount> widths_ = kDefaultWidths;  // at 96 dpi
  ResultTable table_{PathForm::kWtf8};
  SingleInstance& instance_;
  std::unique_ptr<Job> job_;
  bool jobStampFound_ = false;  // the job walks paths whose files are then to be stamped
  struct Queued {
    std::string path;
    Mode mode;
  };
  std::vector<Queued> queued_;  // paths to walk once the work in hand is done
  // Rows (stored indices) of files found to stamp, waiting for the question. Rows are removed
  // only when the window is idle, so these stay valid.
  std::vector<std::size_t> pendingStamp_;
  bool asking_ = false;     // the stamp question is shown
  bool closing_ = false;    // takes no more requests
  bool cancelled_ = false;  // the last work was cancelled: the list may lack files
  std::wstring lastFolder_;
  std::wstring cell_;
};

HWND DeskWindow::create(int show) {
  Settings settings;
  settings.read(L"ColumnWidths", widths_);
  lastFolder_ = settings.readText(L"LastFolder");
  HMENU bar = CreateMenu();
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(buildMenu(kFileMenu)), L"&File");
  actionsMenu_ = buildMenu(kActionsMenu);
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(actionsMenu_), L"&Actions");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(buildMenu(kViewMenu)), L"&View");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(buildMenu(kHelpMenu)), L"&Help");
  window_ = CreateWindowExW(
      WS_EX_ACCEPTFILES, kClassName, kTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, bar, GetModuleHandleW(nullptr), this);
  if (!window_) return nullptr;
  instance_.publish(window_);  // later starts hand over to it from now on
  WINDOWPLACEMENT placement{};
  if (settings.read(L"Placement", placement) && placement.length == sizeof placement) {
    if (show == SW_SHOWNORMAL || show == SW_SHOWDEFAULT) placement.showCmd = SW_SHOWNORMAL;
    if (placement.showCmd == SW_SHOWMINIMIZED) placement.showCmd = SW_SHOWNORMAL;
    SetWindowPlacement(window_, &placement);
  } else {
    const int dpi = static_cast<int>(GetDpiForWindow(window_));
    SetWindowPos(window_, nullptr, 0, 0, MulDiv(1000, dpi, kDesignDpi),
                 MulDiv(560, dpi, kDesignDpi), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(window_, show);
  }
  UpdateWindow(window_);
  startQueued();
  return window_;
}

void DeskWindow::createControls() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  list_ = CreateWindowExW(
      0, WC_LISTVIEWW, L"",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0, 0, 0,
      0, window_, reinterpret_cast<HMENU>(kListId), instance, nullptr);
  ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES |
                                               LVS_EX_DOUBLEBUFFER | LVS_EX_HEADERDRAGDROP);
  for (std::size_t c = 0; c < kColumnCount; ++c) {
    std::wstring title = wide(columnTitle(static_cast<Column>(c)));
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = title.data();
    column.cx = widths_[c];
    column.iSubItem = static_cast<int>(c);
    SendMessageW(list_, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
  }
  status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0,
                            0, 0, window_, reinterpret_cast<HMENU>(kStatusId), instance, nullptr);
  progress_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 0, 0, window_,
                              reinterpret_cast<HMENU>(kProgressId), instance, nullptr);
  cancel_ = CreateWindowExW(0, WC_BUTTONW, L"Cancel", WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON, 0, 0,
                            0, 0, window_, reinterpret_cast<HMENU>(kCancel), instance, nullptr);
  applyDpi(static_cast<int>(GetDpiForWindow(window_)));
  showStatus();
}

// Font, icons and column widths for the window's dots per inch.
void DeskWindow::applyDpi(int dpi) {
  if (list_ && dpi_ != dpi) {
    for (std::size_t c = 0; c < kColumnCount; ++c) {
      widths_[c] = MulDiv(ListView_GetColumnWidth(list_, static_cast<int>(c)), kDesignDpi, dpi_);
    }
  }
  dpi_ = dpi;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                             static_cast<UINT>(dpi));
  HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  for (HWND control : {list_, status_, cancel_}) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (font_) DeleteObject(font_);
  font_ = font;
  HIMAGELIST icons = makeIcons(dpi);
  ListView_SetImageList(list_, icons, LVSIL_SMALL);
  if (icons_) ImageList_Destroy(icons_);
  icons_ = icons;
  for (std::size_t c = 0; c < kColumnCount; ++c) {
    ListView_SetColumnWidth(list_, static_cast<int>(c), MulDiv(widths_[c], dpi, kDesignDpi));
  }
  layout();
}

void DeskWindow::layout() {
  RECT client;
  GetClientRect(window_, &client);
  SendMessageW(status_, WM_SIZE, 0, 0);
  RECT statusRect;
  GetWindowRect(status_, &statusRect);
  int bottom = client.bottom - (statusRect.bottom - statusRect.top);
  if (job_) {
    const int margin = MulDiv(4, dpi_, kDesignDpi);
    const int height = MulDiv(24, dpi_, kDesignDpi);
    const int buttonWidth = MulDiv(80, dpi_, kDesignDpi);
    bottom -= height + 2 * margin;
    MoveWindow(progress_, margin, bottom + margin,
               std::max(0, static_cast<int>(client.right) - buttonWidth - 3 * margin), height,
               TRUE);
    MoveWindow(cancel_, client.right - buttonWidth - margin, bottom + margin, buttonWidth, height,
               TRUE);
  }
  MoveWindow(list_, 0, 0, client.right, std::max(0, bottom), TRUE);
}

// All of the request's paths, or none (when memory runs out on the way).
void DeskWindow::enqueue(const Request& request) {
  std::vector<Queued> added;
  for (const std::u16string& path : request.paths) {
    const std::wstring name(path.begin(), path.end());
    added.push_back({engine::pathFromWide(name.c_str()), request.mode});
  }
  queued_.reserve(queued_.size() + added.size());
  std::move(added.begin(), added.end(), std::back_inserter(queued_));
}

// A request from a later start of the program. Anyone in the session may send this message:
// only an exact request is taken (handoff.h), and nothing in it is trusted further.
bool DeskWindow::receive(const COPYDATASTRUCT* data) {
  if (closing_ || !data || data->dwData != kHandoffTag || (data->cbData > 0 && !data->lpData)) {
    return false;
  }
  try {
    const std::optional<Request> request = decodeHandoff(std::span(
        static_cast<const uint8_t*>(data->lpData), static_cast<std::size_t>(data->cbData)));
    if (!request) return false;
    enqueue(*request);
  } catch (...) {  // no memory for the paths: the sender opens a window of its own
    return false;
  }
  startQueued();
  showStatus();
  PostMessageW(window_, kComeForward, 0, 0);  // once the sender has its answer
  return true;
}

void DeskWindow::comeForward() {
  if (IsIconic(window_)) ShowWindow(window_, SW_RESTORE);
  SetForegroundWindow(GetLastActivePopup(window_));  // the question, when one is shown
}

// The paths queued next, as long as they share a mode, walked and checked.
void DeskWindow::startQueued() {
  if (job_ || asking_ || queued_.empty()) return;
  const Mode mode = queued_.front().mode;
  const auto end = std::find_if(queued_.begin(), queued_.end(),
                                [mode](const Queued& queued) { return queued.mode != mode; });
  std::vector<std::string> paths;
  for (auto at = queued_.begin(); at != end; ++at) paths.push_back(std::move(at->path));
  queued_.erase(queued_.begin(), end);
  startJob(Job::walk(std::move(paths), std::max(1u, std::thread::hardware_concurrency())),
           mode == Mode::kStamp);
}

void DeskWindow::startJob(std::unique_ptr<Job> job, bool stampFound) {
  job_ = std::move(job);
  jobStampFound_ = stampFound;
  cancelled_ = false;
  SendMessageW(progress_, PBM_SETPOS, 0, 0);
  EnableWindow(cancel_, TRUE);
  ShowWindow(progress_, SW_SHOW);
  ShowWindow(cancel_, SW_SHOW);
  layout();
  SetTimer(window_, kWorkTimer, kWorkInterval, nullptr);
  showStatus();
}

// Takes the workers' results into the list; once they are all in, the next queued paths.
void DeskWindow::collect() {
  if (!job_) return;
  const bool done = job_->done();  // before take(): nothing arrives after a done job's last take
  std::vector<Finished> finished = job_->take();
  if (!finished.empty()) {
    const std::vector<std::size_t> selection = selectedStored();
    for (Finished& item : finished) {
      if (item.row) {
        table_.replace(*item.row, std::move(item.result));
      } else {
        if (jobStampFound_) pendingStamp_.push_back(table_.storedCount());
        table_.add(std::move(item.result));
      }
    }
    table_.refresh();
    refreshList(selection);
  }
  if (done) {
    job_.reset();
    KillTimer(window_, kWorkTimer);
    ShowWindow(progress_, SW_HIDE);
    ShowWindow(cancel_, SW_HIDE);
    layout();
    startQueued();
    // Asked once no more files to stamp have come for a moment (each new job puts it off).
    if (!job_ && !pendingStamp_.empty()) SetTimer(window_, kStampTimer, kStampSettle, nullptr);
  }
  showStatus();
}

// Stamp, after a question, the files found for requests to stamp: in the style of Reset's.
void DeskWindow::askToStamp() {
  KillTimer(window_, kStampTimer);
  if (job_ || asking_ || !queued_.empty() || pendingStamp_.empty()) return;
  std::vector<Job::Target> targets;
  std::vector<const Row*> rows;
  for (const std::size_t index : std::exchange(pendingStamp_, {})) {
    targets.push_back({index, table_.stored(index).path});
    rows.push_back(&table_.stored(index));
  }
  const std::size_t differing = stampsDiffering(rows);
  std::wstring question =
      targets.size() == 1
          ? std::wstring(L"Stamp the CRC field of 1 file with the CRC of its content?")
          : L"Stamp the CRC fields of " + std::to_wstring(targets.size()) +
                L" files, each with the CRC of its content?";
  if (differing > 0) {
    question += L"\n\nThis replaces " + std::to_wstring(differing) +
                (differing == 1 ? L" stamp that differs." : L" stamps that differ.");
  }
  asking_ = true;
  showBusy();
  const int answer = MessageBoxW(window_, question.c_str(), L"Stamp - Korvale Desk",
                                 MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
  asking_ = false;
  if (closing_) return;
  if (answer == IDOK) {
    startJob(Job::rework(Operation::kSet, std::move(targets),
                         std::max(1u, std::thread::hardware_concurrency())));
  } else {
    startQueued();
  }
  showStatus();
}

void DeskWindow::showBusy() {
  if (job_ || !queued_.empty() || !pendingStamp_.empty() || asking_) {
    SetPropW(window_, kBusyProperty, reinterpret_cast<HANDLE>(1));
  } else {
    RemovePropW(window_, kBusyProperty);
  }
}

// The list shows the model's view anew, with the rows of `selectStored` selected.
void DeskWindow::refreshList(const std::vector<std::size_t>& selectStored) {
  ListView_SetItemCountEx(list_, static_cast<int>(table_.viewCount()),
                          LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
  if (!selectStored.empty()) {
    std::vector<bool> wanted(table_.storedCount());
    for (const std::size_t index : selectStored) {
      if (index < wanted.size()) wanted[index] = true;
    }
    for (std::size_t place = 0; place < table_.viewCount(); ++place) {
      if (wanted[table_.storedIndex(place)]) {
        ListView_SetItemState(list_, static_cast<int>(place), LVIS_SELECTED, LVIS_SELECTED);
      }
    }
  }
  InvalidateRect(list_, nullptr, FALSE);
}

void DeskWindow::showStatus() {
  std::string text;
  if (job_) {
    const engine::Progress progress = job_->progress();
    text = "Working: " + std::to_string(progress.filesDone) + " of " +
           std::to_string(progress.filesKnown) + (progress.allKnown ? " files" : "+ files");
    SendMessageW(progress_, PBM_SETRANGE32, 0, static_cast<LPARAM>(progress.filesKnown));
    SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(progress.filesDone), 0);
  } else {
    text = statusText(table_) + (cancelled_ ? " (cancelled)" : "");
  }
  SetWindowTextW(status_, wide(text).c_str());
  showBusy();
}

std::vector<std::size_t> DeskWindow::selectedPlaces() const {
  std::vector<std::size_t> places;
  for (int i = ListView_GetNextItem(list_, -1, LVNI_SELECTED); i >= 0;
       i = ListView_GetNextItem(list_, i, LVNI_SELECTED)) {
    places.push_back(static_cast<std::size_t>(i));
  }
  return places;
}

std::vector<std::size_t> DeskWindow::selectedStored() const {
  std::vector<std::size_t> stored;
  for (const std::size_t place : selectedPlaces()) stored.push_back(table_.storedIndex(place));
  return stored;
}

std::vector<const Row*> DeskWindow::selectedRows() const {
  std::vector<const Row*> rows;
  for (const std::size_t place : selectedPlaces()) rows.push_back(&table_.viewRow(place));
  return rows;
}

void DeskWindow::rework(Operation operation) {
  std::vector<Job::Target> targets;
  for (const std::size_t index : selectedStored()) {
    targets.push_back({index, table_.stored(index).path});
  }
  if (targets.empty()) return;
  if (operation == Operation::kReset) {
    const std::size_t stamps = stampsAmong(selectedRows());
    const std::wstring question = L"Reset the CRC field of " + std::to_wstring(targets.size()) +
                                  (targets.size() == 1 ? L" file" : L" files") +
                                  L" to 0x00000000?\n\nThis erases " + std::to_wstring(stamps) +
                                  (stamps == 1 ? L" stamp." : L" stamps.");
    // Requests that arrive meanwhile wait for the answer (startQueued), as for Stamp's.
    asking_ = true;
    showBusy();
    const int answer = MessageBoxW(window_, question.c_str(), L"Reset - Korvale Desk",
                                   MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2);
    asking_ = false;
    if (closing_) return;
    if (answer != IDOK) {
      startQueued();
      showStatus();
      return;
    }
  }
  startJob(Job::rework(operation, std::move(targets),
                       std::max(1u, std::thread::hardware_concurrency())));
}

void DeskWindow::openFiles() {
  std::vector<wchar_t> names(65536);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = L"XML data files (*.xml)\0*.xml\0All files (*.*)\0*.*\0";
  dialog.lpstrFile = names.data();
  dialog.nMaxFile = static_cast<DWORD>(names.size());
  dialog.lpstrInitialDir = lastFolder_.empty() ? nullptr : lastFolder_.c_str();
  dialog.Flags =
      OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&dialog)) return;
  // One name: the full path. Several: the folder, then each name, each ended by a NUL.
  const std::wstring first = names.data();
  std::vector<std::string> paths;
  const wchar_t* name = names.data() + first.size() + 1;
  if (*name == L'\0') {
    paths.push_back(engine::pathFromWide(first.c_str()));
    rememberFolder(first.substr(0, dialog.nFileOffset > 0 ? dialog.nFileOffset - 1 : 0));
  } else {
    for (; *name; name += wcslen(name) + 1) {
      paths.push_back(engine::pathFromWide((first + L"\\" + name).c_str()));
    }
    rememberFolder(first);
  }
  for (std::string& path : paths) queued_.push_back({std::move(path), Mode::kCheck});
  startQueued();
}

void DeskWindow::openFolder() {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&dialog)))) {
    return;
  }
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
  IShellItem* start = nullptr;
  if (!lastFolder_.empty() &&
      SUCCEEDED(SHCreateItemFromParsingName(lastFolder_.c_str(), nullptr, IID_PPV_ARGS(&start)))) {
    dialog->SetFolder(start);
    start->Release();
  }
  IShellItem* chosen = nullptr;
  wchar_t* path = nullptr;
  if (SUCCEEDED(dialog->Show(window_)) && SUCCEEDED(dialog->GetResult(&chosen)) &&
      SUCCEEDED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
    queued_.push_back({engine::pathFromWide(path), Mode::kCheck});
    rememberFolder(path);
    CoTaskMemFree(path);
    startQueued();
  }
  if (chosen) chosen->Release();
  dialog->Release();
}

bool writeWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file =
      CreateFileW(engine::systemPath(engine::pathFromWide(path.c_str())).c_str(), GENERIC_WRITE, 0,
                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  return CloseHandle(file) && ok;
}

// The rows shown, in the order shown, as CSV or JSON Lines.
void DeskWindow::exportResults() {
  std::array<wchar_t, 32768> name{};
  wcscpy(name.data(), L"results.csv");
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = L"CSV (*.csv)\0*.csv\0JSON Lines (*.jsonl)\0*.jsonl\0";
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  dialog.lpstrDefExt = L"csv";
  dialog.lpstrInitialDir = lastFolder_.empty() ? nullptr : lastFolder_.c_str();
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
  if (!GetSaveFileNameW(&dialog)) return;
  std::vector<const Row*> rows;
  for (std::size_t place = 0; place < table_.viewCount(); ++place) {
    rows.push_back(&table_.viewRow(place));
  }
  const std::string text =
      dialog.nFilterIndex == 2 ? jsonLines(rows, table_.form()) : csvText(rows);
  if (!writeWholeFile(name.data(), text)) {
    MessageBoxW(window_, (L"Cannot write " + std::wstring(name.data())).c_str(), kTitle,
                MB_OK | MB_ICONERROR);
  }
}

void DeskWindow::copySelection() {
  const std::vector<const Row*> rows = selectedRows();
  if (rows.empty() || !OpenClipboard(window_)) return;
  const std::wstring text = wide(tabSeparated(rows, table_.form()));
  EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(GlobalLock(memory)));
    GlobalUnlock(memory);
    if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
  }
  CloseClipboard();
}

void DeskWindow::showContainingFolder() {
  const std::vector<const Row*> rows = selectedRows();
  if (rows.empty()) return;
  const std::wstring path = engine::wideFromPath(rows.front()->path);
  if (PIDLIST_ABSOLUTE item = ILCreateFromPathW(path.c_str())) {
    SHOpenFolderAndSelectItems(item, 0, nullptr, 0);
    ILFree(item);
  }
}

// The guide beside the program, opened through Tavisk.dll, also beside it.
void DeskWindow::openUserGuide() {
  std::wstring folder(32768, L'\0');
  folder.resize(GetModuleFileNameW(nullptr, folder.data(), static_cast<DWORD>(folder.size())));
  folder.resize(folder.find_last_of(L'\\') + 1);
  using LaunchHelp = void*(__cdecl*)(const char*);
  bool opened = false;
  if (HMODULE tavisk = LoadLibraryW((folder + L"Tavisk.dll").c_str())) {
    const auto launch =
        reinterpret_cast<LaunchHelp>(reinterpret_cast<void*>(GetProcAddress(tavisk, "launchHelp")));
    // The viewer takes the path in the ANSI code page; the short form reaches a folder whose
    // name that code page cannot spell.
    std::wstring guide = folder + L"Korvale.chm";
    std::wstring shortGuide(32768, L'\0');
    shortGuide.resize(
        GetShortPathNameW(guide.c_str(), shortGuide.data(), static_cast<DWORD>(shortGuide.size())));
    if (!shortGuide.empty()) guide = shortGuide;
    guide += L"::/window.html";  // the page on this window, by name: the guide maps no numbers
    std::string ansi(guide.size() * 2 + 1, '\0');
    ansi.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_ACP, 0, guide.c_str(), -1, ansi.data(),
                            static_cast<int>(ansi.size()), nullptr, nullptr)));
    opened = launch && !ansi.empty() && launch(ansi.c_str()) != nullptr;
  }
  if (!opened) {
    MessageBoxW(window_, (L"The user guide " + folder + L"Korvale.chm cannot be opened.").c_str(),
                kTitle, MB_OK | MB_ICONERROR);
  }
}

void DeskWindow::saveSettings() {
  Settings settings;
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (GetWindowPlacement(window_, &placement)) settings.write(L"Placement", placement);
  for (std::size_t c = 0; c < kColumnCount; ++c) {
    widths_[c] = MulDiv(ListView_GetColumnWidth(list_, static_cast<int>(c)), kDesignDpi, dpi_);
  }
  settings.write(L"ColumnWidths", widths_);
  if (!lastFolder_.empty()) settings.writeText(L"LastFolder", lastFolder_);
}

void DeskWindow::updateMenu(HMENU menu) {
  const bool busy = !idle();
  const bool selected = ListView_GetSelectedCount(list_) > 0;
  const auto enable = [menu](WORD id, bool on) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
  };
  for (WORD id : {kCheckAgain, kStamp, kReset, kRemove}) enable(id, selected && !busy);
  for (WORD id : {kCopy, kShowFolder}) enable(id, selected);
  enable(kExport, table_.viewCount() > 0);
  CheckMenuItem(menu, kProblemsOnly, MF_BYCOMMAND | (table_.problemsOnly() ? MF_CHECKED : 0));
}

void DeskWindow::command(WORD id) {
  // The keys reach here whatever the menu shows: rows change only while no work is running.
  const bool idle = this->idle();
  switch (id) {
    case kOpenFiles:
      openFiles();
      break;
    case kOpenFolder:
      openFolder();
      break;
    case kExport:
      exportResults();
      break;
    case kExit:
      PostMessageW(window_, WM_CLOSE, 0, 0);
      break;
    case kCheckAgain:
      if (idle) rework(Operation::kCheck);
      break;
    case kStamp:
      if (idle) rework(Operation::kSet);
      break;
    case kReset:
      if (idle) rework(Operation::kReset);
      break;
    case kCopy:
      copySelection();
      break;
    case kSelectAll:
      ListView_SetItemState(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
      break;
    case kShowFolder:
      showContainingFolder();
      break;
    case kRemove:
      if (idle) {
        table_.removeViewRows(selectedPlaces());
        refreshList({});
        showStatus();
      }
      break;
    case kProblemsOnly: {
      const std::vector<std::size_t> selection = selectedStored();
      table_.setProblemsOnly(!table_.problemsOnly());
      refreshList(selection);
      break;
    }
    case kUserGuide:
      openUserGuide();
      break;
    case kCancel:  // all the work asked for: what was dropped meanwhile, and stamps to ask
      if (job_) {
        job_->cancel();
        queued_.clear();
        pendingStamp_.clear();
        jobStampFound_ = false;  // the files it still finishes are not to be stamped either
        cancelled_ = true;
        // A disabled window loses the focus to none, and the keys with it: the list takes it.
        if (GetFocus() == cancel_) SetFocus(list_);
        EnableWindow(cancel_, FALSE);
      } else if (!pendingStamp_.empty()) {
        KillTimer(window_, kStampTimer);
        pendingStamp_.clear();
        showStatus();
      }
      break;
  }
}

void DeskWindow::onGetDispInfo(NMLVDISPINFOW& info) {
  LVITEMW& item = info.item;
  if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= table_.viewCount()) return;
  const Row& row = table_.viewRow(static_cast<std::size_t>(item.iItem));
  const auto column = static_cast<Column>(item.iSubItem);
  if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
    cell_ = wide(cellText(row, column, table_.form()));
    const std::size_t length =
        std::min(cell_.size(), static_cast<std::size_t>(item.cchTextMax - 1));
    std::copy_n(cell_.c_str(), length, item.pszText);
    item.pszText[length] = L'\0';
  }
  if (item.mask & LVIF_IMAGE) {
    item.iImage = column == Column::kResult ? iconOf(row.outcome.code) : I_IMAGENONE;
  }
}

void DeskWindow::onColumnClick(int column) {
  const auto chosen = static_cast<Column>(column);
  const bool ascending = table_.sortColumn() == chosen ? !table_.sortAscending() : true;
  const std::vector<std::size_t> selection = selectedStored();
  table_.sortBy(chosen, ascending);
  HWND header = ListView_GetHeader(list_);
  for (int c = 0; c < static_cast<int>(kColumnCount); ++c) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    SendMessageW(header, HDM_GETITEMW, c, reinterpret_cast<LPARAM>(&item));
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (c == column) item.fmt |= ascending ? HDF_SORTUP : HDF_SORTDOWN;
    SendMessageW(header, HDM_SETITEMW, c, reinterpret_cast<LPARAM>(&item));
  }
  refreshList(selection);
}

LRESULT DeskWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      createControls();
      DragAcceptFiles(window_, TRUE);
      return 0;
    case WM_SIZE:
      layout();
      return 0;
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      applyDpi(HIWORD(wParam));
      SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_SETFOCUS:
      SetFocus(list_);
      return 0;
    case WM_TIMER:
      if (wParam == kWorkTimer) collect();
      if (wParam == kStampTimer) askToStamp();
      return 0;
    case WM_COPYDATA:
      return receive(reinterpret_cast<const COPYDATASTRUCT*>(lParam)) ? TRUE : FALSE;
    case kComeForward:
      comeForward();
      return 0;
    case WM_DROPFILES: {
      const auto drop = reinterpret_cast<HDROP>(wParam);
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        if (!path.empty()) queued_.push_back({engine::pathFromWide(path.c_str()), Mode::kCheck});
      }
      DragFinish(drop);
      startQueued();
      showStatus();
      return 0;
    }
    case WM_INITMENUPOPUP:
      updateMenu(reinterpret_cast<HMENU>(wParam));
      return 0;
    case WM_CONTEXTMENU: {
      if (reinterpret_cast<HWND>(wParam) != list_) break;
      POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (at.x == -1 && at.y == -1) {  // from the keyboard: at the focused row
        RECT row{};
        const int focused = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
        if (focused >= 0) ListView_GetItemRect(list_, focused, &row, LVIR_LABEL);
        at = {row.left, row.bottom};
        ClientToScreen(list_, &at);
      }
      updateMenu(actionsMenu_);
      TrackPopupMenu(actionsMenu_, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
      return 0;
    }
    case WM_COMMAND:
      command(LOWORD(wParam));
      return 0;
    case WM_NOTIFY: {
      const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
      if (header.hwndFrom != list_) break;
      if (header.code == LVN_GETDISPINFOW) {
        onGetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
      } else if (header.code == LVN_COLUMNCLICK) {
        onColumnClick(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
      } else if (header.code == NM_DBLCLK) {
        showContainingFolder();
      }
      return 0;
    }
    case WM_CLOSE:
      // From here on a later start opens its own window rather than hand over to this one.
      closing_ = true;
      instance_.withdraw(window_);
      saveSettings();
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      closing_ = true;
      instance_.withdraw(window_);
      KillTimer(window_, kWorkTimer);
      KillTimer(window_, kStampTimer);
      RemovePropW(window_, kBusyProperty);
      if (job_) job_->cancel();
      job_.reset();  // waits for the files in hand: none is left half-written
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* desk = static_cast<DeskWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(desk));
    desk->attach(window);
  }
  auto* desk = reinterpret_cast<DeskWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!desk) return DefWindowProcW(window, message, wParam, lParam);
  return desk->handle(message, wParam, lParam);
}

}  // namespace

int runWindow(Request first, int show, SingleInstance& single) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                     ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), 0));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);

  DeskWindow desk(first, single);
  if (!desk.create(show)) return 1;
  HACCEL keys = CreateAcceleratorTableW(const_cast<ACCEL*>(kKeys), std::size(kKeys));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (TranslateAcceleratorW(desk.window(), keys, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  DestroyAcceleratorTable(keys);
  CoUninitialize();
  return static_cast<int>(message.wParam);
}

}  // namespace korvale::desk
