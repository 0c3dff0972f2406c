// Drags files from a process of its own onto a point of the screen, as the
// shell does when files are dropped on the program's window.
//
//   shell_drag_source RESULTFILE X Y PATHLIST
//
// Puts the cursor at (X, Y), offers the paths listed in PATHLIST (a UTF-8
// text file, one path a line, so that any name survives the ANSI command
// line) as a wide CF_HDROP allowing copy and move, and drops at once. Writes the DoDragDrop result
// and effect to RESULTFILE; exit status 0 when DoDragDrop answered DRAGDROP_S_DROP (the target took
// the drop as done), 1 for any other answer, 2 bad usage, 3 no OLE.

#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "test_data_object.h"

namespace {

// Lets OLE's drag loop run a few rounds over the target, then drops.
class DropSoonSource final : public IDropSource {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropSource)) {
      *object = static_cast<IDropSource*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // lives on the stack

  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD) override {
    if (escapePressed) return DRAGDROP_S_CANCEL;
    return ++rounds_ >= 3 ? DRAGDROP_S_DROP : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

 private:
  std::atomic<ULONG> references_{1};
  int rounds_ = 0;
};

std::wstring WideOfUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::vector<std::wstring> ReadPathList(const char* listFile) {
  std::vector<std::wstring> paths;
  std::ifstream list(listFile, std::ios::binary);
  std::string line;
  while (std::getline(list, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) paths.push_back(WideOfUtf8(line));
  }
  return paths;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: shell_drag_source RESULTFILE X Y PATHLIST\n");
    return 2;
  }
  const char* resultFile = argv[1];
  const int x = std::atoi(argv[2]);
  const int y = std::atoi(argv[3]);
  const std::vector<std::wstring> paths = ReadPathList(argv[4]);
  if (paths.empty()) {
    std::fprintf(stderr, "no paths in %s\n", argv[4]);
    return 2;
  }

  if (FAILED(OleInitialize(nullptr))) {
    std::fprintf(stderr, "OleInitialize failed\n");
    return 3;
  }
  SetCursorPos(x, y);

  auto* data = new TestDataObject;
  data->Offer(CF_HDROP, WideDropFilesBlock(paths));
  DropSoonSource source;
  DWORD effect = DROPEFFECT_NONE;
  const HRESULT result = DoDragDrop(data, &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
  data->Release();
  if (FILE* file = std::fopen(resultFile, "w")) {
    std::fprintf(file, "DoDragDrop hr=0x%08lX effect=%lu\n", static_cast<unsigned long>(result),
                 static_cast<unsigned long>(effect));
    std::fclose(file);
  }
  OleUninitialize();
  return result == DRAGDROP_S_DROP ? 0 : 1;
}
