// The GUI thread's call window: a message-only window whose one message runs
// a function handed over by another thread.

#include "gui/gui_thread_call_win.h"

#include <windows.h>

#include <atomic>

#include "gui/runtime_win.h"

namespace {

constexpr wchar_t kCallWindowClass[] = L"_QX_GuiCall";
constexpr UINT kRunCallMessage = WM_APP + 0x2E1;

struct PendingCall {
  void (*work)(void*);
  void* context;
};

std::atomic<HWND> callWindow{nullptr};

LRESULT CALLBACK CallWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunCallMessage) {
    const auto* call = reinterpret_cast<const PendingCall*>(lParam);
    call->work(call->context);
    return 1;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool OnGuiThreadNow() {
  const DWORD gui = GuiThreadId();
  return gui == 0 || gui == GetCurrentThreadId();
}

void CreateGuiCallWindow() {
  if (callWindow.load() != nullptr) return;
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = CallWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kCallWindowClass;
  RegisterClassExW(&windowClass);
  // Never destroyed: calls from workers may arrive until the process exits.
  callWindow = CreateWindowExW(0, kCallWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               instance, nullptr);
}

void RunOnGuiThread(void (*work)(void* context), void* context) {
  const HWND window = callWindow.load();
  if (window == nullptr || OnGuiThreadNow()) {
    work(context);
    return;
  }
  PendingCall call{work, context};
  // The sender waits, and keeps answering messages sent to its own windows,
  // until the GUI thread has run the call.
  SendMessageW(window, kRunCallMessage, 0, reinterpret_cast<LPARAM>(&call));
}
