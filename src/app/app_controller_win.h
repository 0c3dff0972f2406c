#pragma once

// The program's own logic behind the main window: the start-up sequence, the
// state shared by the conversion flows, and the handlers bound to the
// window's events.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/run_plan.h"
#include "picture/picture_win.h"

// One batch or drop run: its entries, its start tick and its counters. A run
// owns all of this for its whole life, so a later run never changes what the
// tasks of an earlier one read.
class ConversionRun {
 public:
  ConversionRun(std::vector<RunEntry> runEntries, uint32_t runStartTick)
      : entries(std::move(runEntries)), startTick(runStartTick) {}
  ConversionRun(const ConversionRun&) = delete;
  ConversionRun& operator=(const ConversionRun&) = delete;

  int32_t Size() const { return static_cast<int32_t>(entries.size()); }
  void RecordFailure(const std::string& sourcePath);
  std::vector<std::string> FailedPaths();
  // The first task of the run that writes into outputFolder removes the
  // temporary files an interrupted earlier run left there; the other tasks
  // wait until it is done, so their own temporary files are never removed.
  void ClearLeftoversOnce(const std::string& outputFolder);

  const std::vector<RunEntry> entries;
  const uint32_t startTick;               // TickCount when the run started
  std::atomic<int32_t> doneCount{0};      // pictures converted
  std::atomic<int32_t> finishedCount{0};  // pictures converted or given up
  ForwardProgress progress;               // what the progress bar shows

 private:
  std::mutex failedLock;
  std::vector<std::string> failedPaths;  // in the order they failed
  std::mutex clearedLock;
  std::set<std::string> clearedFolders;  // output folders already cleared
};

// Attempts a task makes before its picture counts as failed.
constexpr int kTaskAttemptsMax = 3;
// Worker threads of a run, and the pool's grace wait at its end.
constexpr int32_t kRunWorkerCount = 6;
constexpr int32_t kRunStopGraceMs = 1000;
// The pool's grace wait when the program ends during a run.
constexpr int32_t kExitStopGraceMs = 1;
// Pause before a batch run starts, after the folder browser has closed.
constexpr int kBatchStartDelayMs = 200;

// Converts entry's picture to target beside it (sub-folder named after the
// target, created when missing): through the imaging service, or through the
// engine when the imaging service cannot load it; up to kTaskAttemptsMax
// attempts. True when the output was written. Either way the output appears
// only complete, and a failure leaves an earlier output as it was.
bool ConvertRunEntry(const RunEntry& entry, const std::string& target);

// Saves picture as path through a temporary file beside it, which becomes
// path only once the save succeeded (replacing an earlier file in one step);
// a failed save removes it.
bool SavePictureComplete(Picture& picture, const std::string& path, PictureFormat format);

// Removes the temporary output files (engine::IsOutputTempName) from folder
// (without its trailing "\"); files still open for writing stay.
void RemoveLeftoverOutputs(const std::string& folder);

// --- Start-up and exit ------------------------------------------------------
void InitControllerState();
void ReleaseControllerState(int exitListIndex);
// The whole start-up: state, exit routine, imaging service, main window.
void RunControllerStartup();

// --- Handlers (GUI thread) ----------------------------------------------------
void OnWindowCreated();
void OnAlwaysOnTopClicked();
void OnSingleConvertClicked();
void OnBatchConvertClicked();
void OnFilesDropped(const char* droppedPaths);

// --- The flows ------------------------------------------------------------------
DWORD WINAPI ConvertSinglePicture(void* unused);
// Lists the picture files of a folder chosen in the folder browser; empty
// when the browser was cancelled.
std::vector<RunEntry> ListFolderPictures();
// The picture files of folder (ending with "\"), one level deep, in the order
// the platform lists them.
std::vector<RunEntry> ListPicturesIn(const std::string& folder);
// Starts a run over entries; refused with a message while another run is
// converting. An empty list starts nothing.
void StartRun(std::vector<RunEntry> entries, bool delayFirst);
int32_t WINAPI ConvertListedPicture(int32_t taskValue);
void FinishRun(ConversionRun& run, uint32_t elapsedMs);

// Whether a batch or drop run is converting now.
bool IsRunInProgress();
