// pcdriver: operates the program's windows from outside for the end-to-end
// scripts. Runs in the same Wine prefix and display as the program; takes
// UTF-8 arguments and prints UTF-8.
//
//   pcdriver waitwin CLASS [TITLE] [timeoutMs]   wait for a top-level window
//   pcdriver closewin CLASS [TITLE]              post WM_CLOSE to it
//   pcdriver listwin [CLASS]                     print top-level windows
//   pcdriver rect CLASS [TITLE]                  print "left top right bottom" of a
//                                                visible top-level window (screen)
//   pcdriver boxtext CAPTION [timeoutMs]         print a message box's text
//   pcdriver clickbox CAPTION [buttonId] [timeoutMs]  press a box button (IDOK)
//   pcdriver waitexit PID|IMAGE timeoutMs        wait for a process, print its exit code
//   pcdriver memory PID|IMAGE                    print its working set, peak working set
//                                                and pagefile usage in bytes, one line
//
// Commands on the program's main window (class _QX_Form); ID is a control id
// in hex (e.g. 0x16010003):
//   pcdriver clickctl ID                 post a click to a button or checkbox
//   pcdriver checkstate ID               print 1 when the checkbox is ticked, else 0
//   pcdriver topmost                     print 1 when the main window is topmost, else 0
//   pcdriver setcombo ID INDEX           select a combo item as a user would
//   pcdriver progress ID                 print "position maximum" of a progress bar
//   pcdriver texts                       print the window's title, then one line a child
//                                        control: "ID text", a combo's items after its text
//   pcdriver browse PATH [timeoutMs]     choose PATH in the open folder browser, press OK
//   pcdriver browsecancel [timeoutMs]    press Cancel in the open folder browser
//   pcdriver openfile PATH [timeoutMs]   type PATH into the open-file dialog, press OK
//   pcdriver drop PATH...                drag files onto the main window and drop them
//
// An empty TITLE matches any title. With a single argument after CLASS, an
// argument made of digits is the timeout. Exit status: 0 done, 1 not found
// or timed out, 2 bad usage.

#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
// After windows.h, which it builds on.
#include <psapi.h>

#include <cwctype>
#include <string>
#include <vector>

namespace {

constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr DWORD kPollMs = 50;
constexpr UINT kSendTimeoutMs = 5000;

void Print(const std::wstring& text) {
  const std::wstring line = text + L"\n";
  const int length = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &bytes[0], length,
                      nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

void PrintError(const std::wstring& text) {
  const std::wstring line = L"pcdriver: " + text + L"\n";
  const int length = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &bytes[0], length,
                      nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

bool IsNumber(const std::wstring& text) {
  if (text.empty()) return false;
  for (wchar_t c : text) {
    if (!std::iswdigit(c)) return false;
  }
  return true;
}

DWORD NumberOf(const std::wstring& text) {
  return static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, 10));
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// Caption of a top-level window (no message is sent to another process).
std::wstring CaptionOf(HWND window) {
  wchar_t caption[1024] = {};
  GetWindowTextW(window, caption, 1024);
  return caption;
}

std::wstring TextOf(HWND window) {
  std::vector<wchar_t> text(8192, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
    return std::wstring();
  }
  return std::wstring(text.data(), copied);
}

std::wstring HexOf(const void* value) {
  wchar_t text[32];
  wsprintfW(text, L"0x%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(value)));
  return text;
}

struct WindowQuery {
  std::wstring className;  // empty: any
  std::wstring title;      // empty: any
  bool titleGiven = false;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
  auto* query = reinterpret_cast<WindowQuery*>(parameter);
  if (!query->className.empty() && ClassOf(window) != query->className) return TRUE;
  if (query->titleGiven && !query->title.empty() && CaptionOf(window) != query->title) return TRUE;
  query->found.push_back(window);
  return TRUE;
}

std::vector<HWND> FindTopLevel(const std::wstring& className, const std::wstring& title,
                               bool titleGiven) {
  WindowQuery query{className, title, titleGiven, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

HWND WaitTopLevel(const std::wstring& className, const std::wstring& title, bool titleGiven,
                  DWORD timeoutMs, bool visibleOnly) {
  const DWORD start = GetTickCount();
  for (;;) {
    for (HWND window : FindTopLevel(className, title, titleGiven)) {
      if (!visibleOnly || IsWindowVisible(window)) return window;
    }
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

int WaitWin(const std::vector<std::wstring>& args) {
  if (args.empty() || args.size() > 3) return 2;
  std::wstring title;
  bool titleGiven = false;
  DWORD timeout = kDefaultTimeoutMs;
  if (args.size() == 2) {
    if (IsNumber(args[1])) {
      timeout = NumberOf(args[1]);
    } else {
      title = args[1];
      titleGiven = true;
    }
  } else if (args.size() == 3) {
    title = args[1];
    titleGiven = true;
    if (!IsNumber(args[2])) return 2;
    timeout = NumberOf(args[2]);
  }
  const HWND window = WaitTopLevel(args[0], title, titleGiven, timeout, false);
  if (window == nullptr) {
    PrintError(L"no window of class " + args[0]);
    return 1;
  }
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  Print(HexOf(window) + L" " + std::to_wstring(processId));
  return 0;
}

int CloseWin(const std::vector<std::wstring>& args) {
  if (args.empty() || args.size() > 2) return 2;
  const bool titleGiven = args.size() == 2;
  const std::vector<HWND> windows =
      FindTopLevel(args[0], titleGiven ? args[1] : std::wstring(), titleGiven);
  if (windows.empty()) {
    PrintError(L"no window of class " + args[0]);
    return 1;
  }
  // Posted: a close that opens a box or ends the process must not block us.
  PostMessageW(windows[0], WM_CLOSE, 0, 0);
  Print(HexOf(windows[0]));
  return 0;
}

int ListWin(const std::vector<std::wstring>& args) {
  if (args.size() > 1) return 2;
  for (HWND window : FindTopLevel(args.empty() ? std::wstring() : args[0], L"", false)) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    Print(HexOf(window) + L" " + std::to_wstring(processId) + L" " + ClassOf(window) + L" \"" +
          CaptionOf(window) + L"\"" + (IsWindowVisible(window) ? L" visible" : L""));
  }
  return 0;
}

int Rect(const std::vector<std::wstring>& args) {
  if (args.empty() || args.size() > 2) return 2;
  const bool titleGiven = args.size() == 2;
  for (HWND window : FindTopLevel(args[0], titleGiven ? args[1] : std::wstring(), titleGiven)) {
    RECT bounds;
    if (!IsWindowVisible(window) || !GetWindowRect(window, &bounds)) continue;
    Print(std::to_wstring(bounds.left) + L" " + std::to_wstring(bounds.top) + L" " +
          std::to_wstring(bounds.right) + L" " + std::to_wstring(bounds.bottom));
    return 0;
  }
  PrintError(L"no visible window of class " + args[0]);
  return 1;
}

HWND WaitBox(const std::wstring& caption, DWORD timeoutMs) {
  return WaitTopLevel(L"#32770", caption, true, timeoutMs, true);
}

int BoxText(const std::vector<std::wstring>& args) {
  if (args.empty() || args.size() > 2) return 2;
  const DWORD timeout = args.size() == 2 ? NumberOf(args[1]) : kDefaultTimeoutMs;
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    const HWND box = WaitBox(args[0], elapsed < timeout ? timeout - elapsed : 0);
    if (box == nullptr) {
      PrintError(L"no message box titled " + args[0]);
      return 1;
    }
    // A box just pressed may still show for a moment without its text, on a
    // loaded machine: wait for the next box rather than read that one.
    const HWND message = GetDlgItem(box, 0xFFFF);
    const std::wstring text = message != nullptr ? TextOf(message) : std::wstring();
    if (!text.empty() || GetTickCount() - start >= timeout) {
      Print(text);
      return 0;
    }
    Sleep(100);
  }
}

int ClickBox(const std::vector<std::wstring>& args) {
  if (args.empty() || args.size() > 3) return 2;
  const int button = args.size() >= 2 ? static_cast<int>(NumberOf(args[1])) : IDOK;
  const DWORD timeout = args.size() == 3 ? NumberOf(args[2]) : kDefaultTimeoutMs;
  const HWND box = WaitBox(args[0], timeout);
  if (box == nullptr) {
    PrintError(L"no message box titled " + args[0]);
    return 1;
  }
  const HWND control = GetDlgItem(box, button);
  if (control == nullptr) {
    PrintError(L"the box has no button " + std::to_wstring(button));
    return 1;
  }
  // Posted, as pressing a button may open another modal box.
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
  return 0;
}

DWORD ProcessIdOfImage(const std::wstring& image) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, image.c_str()) == 0) {
      found = entry.th32ProcessID;
      break;
    }
  }
  CloseHandle(snapshot);
  return found;
}

int WaitExit(const std::vector<std::wstring>& args) {
  if (args.size() != 2 || !IsNumber(args[1])) return 2;
  const DWORD processId = IsNumber(args[0]) ? NumberOf(args[0]) : ProcessIdOfImage(args[0]);
  if (processId == 0) {
    PrintError(L"no process " + args[0]);
    return 1;
  }
  const HANDLE process =
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) {
    PrintError(L"cannot open process " + args[0]);
    return 1;
  }
  int status = 1;
  if (WaitForSingleObject(process, NumberOf(args[1])) == WAIT_OBJECT_0) {
    DWORD exitCode = 0;
    GetExitCodeProcess(process, &exitCode);
    Print(std::to_wstring(static_cast<int>(exitCode)));
    status = 0;
  } else {
    PrintError(L"process " + args[0] + L" still running");
  }
  CloseHandle(process);
  return status;
}

int Memory(const std::vector<std::wstring>& args) {
  if (args.size() != 1) return 2;
  const DWORD processId = IsNumber(args[0]) ? NumberOf(args[0]) : ProcessIdOfImage(args[0]);
  if (processId == 0) {
    PrintError(L"no process " + args[0]);
    return 1;
  }
  const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (process == nullptr) {
    PrintError(L"cannot open process " + args[0]);
    return 1;
  }
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  const BOOL read = GetProcessMemoryInfo(process, &counters, sizeof counters);
  CloseHandle(process);
  if (!read) {
    PrintError(L"no memory figures for process " + args[0]);
    return 1;
  }
  Print(std::to_wstring(counters.WorkingSetSize) + L" " +
        std::to_wstring(counters.PeakWorkingSetSize) + L" " +
        std::to_wstring(counters.PagefileUsage));
  return 0;
}

// --- The program's main window ---------------------------------------------

constexpr wchar_t kMainClass[] = L"_QX_Form";
constexpr wchar_t kMainTitle[] = L"图片转换by:quibrox";

HWND MainWindow() {
  const std::vector<HWND> windows = FindTopLevel(kMainClass, kMainTitle, true);
  return windows.empty() ? nullptr : windows[0];
}

HWND MainControl(const std::wstring& idText) {
  const HWND main = MainWindow();
  if (main == nullptr) {
    PrintError(L"no main window");
    return nullptr;
  }
  const int id = static_cast<int>(std::wcstoul(idText.c_str(), nullptr, 0));
  const HWND control = GetDlgItem(main, id);
  if (control == nullptr) PrintError(L"no control " + idText);
  return control;
}

int ClickCtl(const std::vector<std::wstring>& args) {
  if (args.size() != 1) return 2;
  const HWND control = MainControl(args[0]);
  if (control == nullptr) return 1;
  // Posted: the click may open a modal dialog or box.
  PostMessageW(control, BM_CLICK, 0, 0);
  return 0;
}

int CheckState(const std::vector<std::wstring>& args) {
  if (args.size() != 1) return 2;
  const HWND control = MainControl(args[0]);
  if (control == nullptr) return 1;
  Print(SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? L"1" : L"0");
  return 0;
}

int Topmost(const std::vector<std::wstring>& args) {
  if (!args.empty()) return 2;
  const HWND main = MainWindow();
  if (main == nullptr) {
    PrintError(L"no main window");
    return 1;
  }
  Print((GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_TOPMOST) ? L"1" : L"0");
  return 0;
}

int SetCombo(const std::vector<std::wstring>& args) {
  if (args.size() != 2 || !IsNumber(args[1])) return 2;
  const HWND combo = MainControl(args[0]);
  if (combo == nullptr) return 1;
  SendMessageW(combo, CB_SETCURSEL, NumberOf(args[1]), 0);
  SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
  return 0;
}

BOOL CALLBACK PrintControlText(HWND control, LPARAM) {
  std::wstring line = HexOf(reinterpret_cast<void*>(static_cast<uintptr_t>(GetDlgCtrlID(control))));
  line += L" " + TextOf(control);
  if (ClassOf(control) == L"ComboBox") {
    const LRESULT count = SendMessageW(control, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      std::wstring item(static_cast<size_t>(SendMessageW(control, CB_GETLBTEXTLEN, i, 0)), L'\0');
      SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]));
      line += L" " + item.substr(0, item.find(L'\0'));
    }
  }
  Print(line);
  return TRUE;
}

// Read as a user sees them, through the wide functions: texts the window
// holds in another code page come out changed.
int Texts(const std::vector<std::wstring>& args) {
  if (!args.empty()) return 2;
  const std::vector<HWND> windows = FindTopLevel(kMainClass, L"", false);
  if (windows.empty()) {
    PrintError(L"no main window");
    return 1;
  }
  Print(CaptionOf(windows[0]));
  EnumChildWindows(windows[0], PrintControlText, 0);
  return 0;
}

int Progress(const std::vector<std::wstring>& args) {
  if (args.size() != 1) return 2;
  const HWND bar = MainControl(args[0]);
  if (bar == nullptr) return 1;
  const LRESULT position = SendMessageW(bar, PBM_GETPOS, 0, 0);
  const LRESULT maximum = SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
  Print(std::to_wstring(position) + L" " + std::to_wstring(maximum));
  return 0;
}

// A visible dialog of another process that has a child with the given id
// somewhere among its descendants.
struct DescendantQuery {
  int id;
  HWND found;
};

BOOL CALLBACK FindDescendant(HWND window, LPARAM parameter) {
  auto* query = reinterpret_cast<DescendantQuery*>(parameter);
  if (GetDlgCtrlID(window) == query->id) {
    query->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND DescendantWithId(HWND dialog, int id, const wchar_t* className = nullptr) {
  DescendantQuery query{id, nullptr};
  EnumChildWindows(dialog, FindDescendant, reinterpret_cast<LPARAM>(&query));
  if (query.found != nullptr && className != nullptr && ClassOf(query.found) != className) {
    // Several nested controls may share the id; look for the one of the class.
    HWND inner = query.found;
    while (inner != nullptr && ClassOf(inner) != className) {
      DescendantQuery deeper{id, nullptr};
      EnumChildWindows(inner, FindDescendant, reinterpret_cast<LPARAM>(&deeper));
      inner = deeper.found;
    }
    return inner;
  }
  return query.found;
}

HWND WaitDialogWith(int childId, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    for (HWND dialog : FindTopLevel(L"#32770", L"", false)) {
      if (IsWindowVisible(dialog) && DescendantWithId(dialog, childId) != nullptr) return dialog;
    }
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

constexpr int kBrowserTreeId = 14145;
constexpr int kOpenFileNameId = 0x47c;
constexpr UINT kSetSelectionWide = WM_USER + 103;  // BFFM_SETSELECTIONW

int Browse(const std::vector<std::wstring>& args) {
  if (args.empty() || args.size() > 2) return 2;
  const DWORD timeout = args.size() == 2 ? NumberOf(args[1]) : kDefaultTimeoutMs;
  const HWND dialog = WaitDialogWith(kBrowserTreeId, timeout);
  if (dialog == nullptr) {
    PrintError(L"no folder browser");
    return 1;
  }
  // The browser reads the path from its own process, so it is written there.
  DWORD processId = 0;
  GetWindowThreadProcessId(dialog, &processId);
  const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
  if (process == nullptr) {
    PrintError(L"cannot open the browser's process");
    return 1;
  }
  // Wide, so a folder of any name can be chosen.
  const std::wstring& path = args[0];
  const size_t pathBytes = (path.size() + 1) * sizeof(wchar_t);
  void* remote = VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  int status = 1;
  if (remote != nullptr && pathBytes <= 4096 &&
      WriteProcessMemory(process, remote, path.c_str(), pathBytes, nullptr)) {
    // The first browser of a process fills its tree after it shows; a
    // selection sent before that is lost, so it is sent again after a pause.
    Sleep(500);
    SendMessageW(dialog, kSetSelectionWide, TRUE, reinterpret_cast<LPARAM>(remote));
    Sleep(500);
    SendMessageW(dialog, kSetSelectionWide, TRUE, reinterpret_cast<LPARAM>(remote));
    Sleep(200);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    status = 0;
  } else {
    PrintError(L"cannot write the path into the browser's process");
  }
  // The block stays: the browser may read it after OK; it is tiny.
  CloseHandle(process);
  return status;
}

int BrowseCancel(const std::vector<std::wstring>& args) {
  if (args.size() > 1) return 2;
  const DWORD timeout = args.size() == 1 ? NumberOf(args[0]) : kDefaultTimeoutMs;
  const HWND dialog = WaitDialogWith(kBrowserTreeId, timeout);
  if (dialog == nullptr) {
    PrintError(L"no folder browser");
    return 1;
  }
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
  return 0;
}

int OpenFile(const std::vector<std::wstring>& args) {
  if (args.empty() || args.size() > 2) return 2;
  const DWORD timeout = args.size() == 2 ? NumberOf(args[1]) : kDefaultTimeoutMs;
  const HWND dialog = WaitDialogWith(kOpenFileNameId, timeout);
  if (dialog == nullptr) {
    PrintError(L"no open-file dialog");
    return 1;
  }
  Sleep(300);  // let the dialog finish filling its lists
  const HWND edit = DescendantWithId(dialog, kOpenFileNameId, L"Edit");
  if (edit == nullptr) {
    PrintError(L"the open-file dialog has no file-name field");
    return 1;
  }
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[0].c_str()));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  return 0;
}

// --- Dragging files onto the main window ----------------------------------

// A data object offering one CF_HDROP block.
class FileDropData final : public IDataObject {
 public:
  explicit FileDropData(const std::vector<std::wstring>& paths) {
    size_t chars = 1;
    for (const std::wstring& path : paths) chars += path.size() + 1;
    bytes_.assign(sizeof(DROPFILES) + chars * sizeof(wchar_t), 0);
    auto* header = reinterpret_cast<DROPFILES*>(bytes_.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* out = reinterpret_cast<wchar_t*>(bytes_.data() + sizeof(DROPFILES));
    for (const std::wstring& path : paths) {
      std::copy(path.begin(), path.end(), out);
      out += path.size() + 1;
    }
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IDataObject) {
      *object = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // lives on main's stack

  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
    if (block == nullptr) return E_OUTOFMEMORY;
    std::copy(bytes_.begin(), bytes_.end(), static_cast<char*>(GlobalLock(block)));
    GlobalUnlock(block);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
    return format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    out->ptd = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override {
    if (direction != DATADIR_GET) return E_NOTIMPL;
    FORMATETC offered{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return SHCreateStdEnumFmtEtc(1, &offered, formats);
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }

 private:
  ULONG references_ = 1;
  std::vector<char> bytes_;
};

// Drops on the third question, with the mouse button seen as held before.
class DropAtOnce final : public IDropSource {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IDropSource) {
      *object = static_cast<IDropSource*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD) override {
    if (escape) return DRAGDROP_S_CANCEL;
    return ++questions_ >= 3 ? DRAGDROP_S_DROP : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

 private:
  int questions_ = 0;
};

int Drop(const std::vector<std::wstring>& args) {
  if (args.empty()) return 2;
  const HWND main = MainWindow();
  if (main == nullptr) {
    PrintError(L"no main window");
    return 1;
  }
  RECT area{};
  GetWindowRect(main, &area);
  SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
  OleInitialize(nullptr);
  int status = 0;
  {
    FileDropData data(args);
    DropAtOnce source;
    DWORD effect = 0;
    const HRESULT hr = DoDragDrop(&data, &source, DROPEFFECT_COPY, &effect);
    // The program's drop target answers E_FAIL after taking the files, so the
    // source never treats the drop as a completed move; Wine passes that on.
    if (hr != DRAGDROP_S_DROP && hr != E_FAIL) {
      wchar_t text[32];
      wsprintfW(text, L"0x%08X", static_cast<unsigned>(hr));
      PrintError(std::wstring(L"the drag ended with ") + text);
      status = 1;
    }
  }
  OleUninitialize();
  return status;
}

int Usage() {
  PrintError(
      L"usage: waitwin CLASS [TITLE] [timeoutMs] | closewin CLASS [TITLE] | listwin [CLASS] | "
      L"rect CLASS [TITLE] | "
      L"boxtext CAPTION [timeoutMs] | clickbox CAPTION [buttonId] [timeoutMs] | "
      L"waitexit PID|IMAGE timeoutMs | memory PID|IMAGE | clickctl ID | checkstate ID | topmost | "
      L"setcombo ID INDEX | progress ID | texts | browse PATH [timeoutMs] | browsecancel [timeoutMs] | "
      L"openfile PATH [timeoutMs] | drop PATH...");
  return 2;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr || count < 2) return Usage();
  const std::wstring command = argv[1];
  const std::vector<std::wstring> args(argv + 2, argv + count);
  LocalFree(argv);

  int status = 2;
  if (command == L"waitwin")
    status = WaitWin(args);
  else if (command == L"closewin")
    status = CloseWin(args);
  else if (command == L"listwin")
    status = ListWin(args);
  else if (command == L"rect")
    status = Rect(args);
  else if (command == L"boxtext")
    status = BoxText(args);
  else if (command == L"clickbox")
    status = ClickBox(args);
  else if (command == L"waitexit")
    status = WaitExit(args);
  else if (command == L"memory")
    status = Memory(args);
  else if (command == L"clickctl")
    status = ClickCtl(args);
  else if (command == L"checkstate")
    status = CheckState(args);
  else if (command == L"topmost")
    status = Topmost(args);
  else if (command == L"setcombo")
    status = SetCombo(args);
  else if (command == L"progress")
    status = Progress(args);
  else if (command == L"texts")
    status = Texts(args);
  else if (command == L"browse")
    status = Browse(args);
  else if (command == L"browsecancel")
    status = BrowseCancel(args);
  else if (command == L"openfile")
    status = OpenFile(args);
  else if (command == L"drop")
    status = Drop(args);
  return status == 2 ? Usage() : status;
}
