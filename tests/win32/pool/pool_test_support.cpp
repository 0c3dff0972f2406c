#include "pool_test_support.h"

#include <tlhelp32.h>

#include <utility>

int ProcessThreadCount() {
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return -1;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  const DWORD self = GetCurrentProcessId();
  int count = 0;
  for (BOOL more = Thread32First(snapshot.Get(), &entry); more;
       more = Thread32Next(snapshot.Get(), &entry)) {
    if (entry.th32OwnerProcessID == self) ++count;
  }
  return count;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return condition();
    Sleep(5);
  }
}

double NowMs() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

HelperThread::HelperThread(std::function<void()> body) : body_(std::move(body)) {
  thread_.Reset(CreateThread(nullptr, 0, &HelperThread::Run, this, 0, nullptr));
}

HelperThread::~HelperThread() {
  if (thread_ && !Join()) TerminateThread(thread_.Get(), 1);
}

bool HelperThread::Join(DWORD timeoutMs) {
  return thread_ && WaitForSingleObject(thread_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI HelperThread::Run(void* parameter) {
  static_cast<HelperThread*>(parameter)->body_();
  return 0;
}

namespace {

constexpr char kRecordingWindowClass[] = "PoolTestRecordingWindow";

}  // namespace

RecordingWindow::RecordingWindow() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &RecordingWindow::Procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kRecordingWindowClass;
  RegisterClassA(&windowClass);  // fails harmlessly when already registered
  window_.Reset(CreateWindowExA(0, kRecordingWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr));
  if (window_) SetWindowLongPtrA(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

std::vector<RecordingWindow::Handled> RecordingWindow::HandledMessages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handled_;
}

LRESULT CALLBACK RecordingWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self != nullptr && message >= WM_APP && message < 0xC000) {
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->handled_.push_back({message, NowMs(), GetCurrentThreadId()});
    return static_cast<LRESULT>(message - WM_APP) + 1000;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
