#include "app/app_controller_win.h"

#include <memory>
#include <optional>
#include <utility>

#include "app/conversion_targets.h"
#include "app/main_form_win.h"
#include "app/name_rules.h"
#include "base/exif_orientation_win.h"
#include "base/runtime_memory.h"
#include "base/system_commands_win.h"
#include "base/thread_start_win.h"
#include "engine/mapped_file.h"
#include "engine/output_file.h"
#include "engine/picture_loader.h"
#include "engine/result_codes.h"
#include "gui/drop_target_win.h"
#include "gui/form_window_win.h"
#include "gui/message_commands_win.h"
#include "gui/property_service_win.h"
#include "gui/shell_commands_win.h"
#include "gui/visual_style_win.h"
#include "picture/picture_win.h"
#include "pool/worker_pool_win.h"
#include "pool/working_set_win.h"

namespace {

constexpr char kStartupMessage[] = "支持图片文件拖入直接转换";
constexpr char kUnsupportedFileMessage[] = "打开的文件不支持或者不是图片";

// The process-wide controller state, made by InitControllerState. Tasks read
// it until the process ends (see ReleaseControllerState).
struct ControllerState {
  std::string supportedList;  // set once by OnWindowCreated, read by every flow
  WorkerPool pool;            // shared by all runs; started by each, stopped by its last task
  std::mutex runLock;
  // The run converting now; null between runs. Tasks take their own reference,
  // so the run stays valid until the last of them has ended.
  std::shared_ptr<ConversionRun> currentRun;
};

ControllerState* controller = nullptr;

std::shared_ptr<ConversionRun> CurrentRun() {
  std::lock_guard<std::mutex> lock(controller->runLock);
  return controller->currentRun;
}

void SetCurrentRun(std::shared_ptr<ConversionRun> run) {
  std::lock_guard<std::mutex> lock(controller->runLock);
  controller->currentRun = std::move(run);
}

// The format list's text, read afresh at every use.
std::string TargetText() {
  RuntimeBlock text(PropertyService::ReadText(kFormatCombo, kPropComboContent));
  const char* chars = static_cast<const char*>(text.Get());
  return chars != nullptr ? std::string(chars) : std::string();
}

// Counts one task's end; the task that ends the run finishes it.
void CountTaskEnd(ConversionRun& run, const RunEntry& entry, bool converted) {
  // doneCount moves before finishedCount, so the finishing task sees the
  // final number of converted pictures.
  if (converted) {
    run.doneCount.fetch_add(1);
  } else {
    run.RecordFailure(entry.SourcePath());
  }
  const int32_t finished = run.finishedCount.fetch_add(1) + 1;
  run.progress.Advance(finished, [](int32_t shown) {
    PropertyService::WriteInteger(kProgressBar, kPropProgressPosition, shown);
  });
  if (finished == run.Size()) {
    // The time is taken now, before the pool's grace wait and the shell.
    FinishRun(run, ElapsedTicks(run.startTick, TickCount()));
  }
}

}  // namespace

void ConversionRun::RecordFailure(const std::string& sourcePath) {
  std::lock_guard<std::mutex> lock(failedLock);
  failedPaths.push_back(sourcePath);
}

std::vector<std::string> ConversionRun::FailedPaths() {
  std::lock_guard<std::mutex> lock(failedLock);
  return failedPaths;
}

void ConversionRun::ClearLeftoversOnce(const std::string& outputFolder) {
  std::lock_guard<std::mutex> lock(clearedLock);
  if (clearedFolders.insert(outputFolder).second) RemoveLeftoverOutputs(outputFolder);
}

// --- Start-up and exit ------------------------------------------------------

void InitControllerState() {
  if (controller == nullptr) controller = new ControllerState();
}

void ReleaseControllerState(int) {
  if (controller == nullptr) return;
  // The pool stops while everything its tasks read is still there: its grace
  // wait dispatches messages, which can let a task run on. A task already
  // inside a conversion goes on after the stop and reads this state until
  // the process ends, so the state is left to the end of the process rather
  // than destroyed under it.
  controller->pool.Stop(kExitStopGraceMs);
}

bool IsRunInProgress() {
  return controller != nullptr && CurrentRun() != nullptr;
}

void OnWindowCreated() {
  controller->supportedList = kSupportedExtensionList;
  // Neither result is acted on: without them the window still converts
  // through its buttons.
  RegisterFileDrop(kDropObject, GetWindowHandle(kMainWindow));
  PropertyService::WriteInteger(kDropObject, kPropDropAcceptFiles, 1);
  SetVisualStyle(2);
  PropertyService::WriteInteger(kMainWindow, kPropWindowBackgroundColour,
                                static_cast<int32_t>(kDefaultColour));
  ShowMessage(kStartupMessage, 0);
}

void OnAlwaysOnTopClicked() {
  const bool checked =
      PropertyService::ReadInteger(kAlwaysOnTopCheckbox, kPropCheckboxChecked) == 1;
  PropertyService::WriteInteger(kMainWindow, kPropWindowAlwaysOnTop, checked ? 1 : 0);
}

// --- Single picture -----------------------------------------------------------

void OnSingleConvertClicked() {
  StartThread(ConvertSinglePicture);
}

DWORD WINAPI ConvertSinglePicture(void*) {
  std::string path;
  // Showing the dialog and taking its path are one step, so two clicks in a
  // row each convert their own file.
  if (!ShowCommonDialog(kCommonDialog, &path)) return 0;
  const std::string folder = FolderOf(path);
  const std::string name = NameOf(path);
  const std::string base = BaseOf(name);
  if (!IsSupportedExtension(controller->supportedList, ExtensionOf(name))) {
    ShowMessage(kUnsupportedFileMessage, 0);
    return 0;
  }
  if (path.empty()) return 0;
  const std::string target = TargetText();
  if (PictureFormatForTarget(target) == 0) return 0;
  CreateFolder(OutputFolderFor(folder, target));
  const std::string output = OutputPathFor(folder, target, base);
  const int result = ConvertWithEngine(target, path, output);
  if (result != engine::ResultOk) {
    ShowMessage("无法转换图片 " + path + "\r\n" + EngineFailureText(result), 0);
  }
  return 0;
}

// --- Batch and drop runs ----------------------------------------------------------

void OnBatchConvertClicked() {
  if (IsRunInProgress()) {
    ShowMessage(kRunInProgressText, 0);
    return;
  }
  std::vector<RunEntry> entries = ListFolderPictures();
  StartRun(std::move(entries), true);
}

std::vector<RunEntry> ListFolderPictures() {
  const std::string chosen = BrowseForFolder(kBrowseFolderTitle);
  if (chosen.empty()) return {};
  // A backslash is appended in every case; a drive root keeps its own too.
  return ListPicturesIn(chosen + "\\");
}

std::vector<RunEntry> ListPicturesIn(const std::string& folder) {
  std::vector<RunEntry> entries;
  HANDLE search = nullptr;
  // Directories are skipped by the search itself ("." "..", sub-folders and
  // the output folders of earlier runs); hidden and read-only files are kept.
  std::optional<std::string> name = FindFiles(folder + "*.*", 0, true, &search);
  while (name) {
    if (IsListedPictureName(controller->supportedList, *name)) {
      entries.push_back(RunEntry{folder, *name});
    }
    name = FindFiles("", 0, true, &search);
  }
  EndFileSearch(&search);
  return entries;
}

// The refusal of a drop is shown on a thread of its own: the drop is still
// being delivered, and a box shown here would hold the program the files were
// dragged from (the shell) until the user closed it.
static DWORD WINAPI ShowRunInProgressMessage(void*) {
  ShowMessage(kRunInProgressText, 0);
  return 0;
}

void OnFilesDropped(const char* droppedPaths) {
  if (droppedPaths == nullptr || *droppedPaths == '\0') return;
  if (IsRunInProgress()) {
    StartThread(ShowRunInProgressMessage);
    return;
  }
  StartRun(EntriesFromDroppedPaths(controller->supportedList, droppedPaths), false);
}

void StartRun(std::vector<RunEntry> entries, bool delayFirst) {
  if (IsRunInProgress()) {
    ShowMessage(kRunInProgressText, 0);
    return;
  }
  const int32_t count = static_cast<int32_t>(entries.size());
  if (count == 0) {
    // Nothing to convert: no pool is started, so nothing is left running to
    // hold back the next run.
    PropertyService::WriteInteger(kProgressBar, kPropProgressMaximum, 0);
    PropertyService::WriteInteger(kProgressBar, kPropProgressPosition, 1);
    return;
  }
  if (delayFirst) Delay(kBatchStartDelayMs);
  auto run = std::make_shared<ConversionRun>(std::move(entries), TickCount());
  SetCurrentRun(run);
  if (!controller->pool.IsRunning()) controller->pool.Start(kRunWorkerCount, ConvertListedPicture);
  PropertyService::WriteInteger(kProgressBar, kPropProgressMaximum, count);
  PropertyService::WriteInteger(kProgressBar, kPropProgressPosition, 1);
  for (int32_t n = 1; n <= count; ++n) {
    // A value the pool does not take still counts, so the run reaches its end.
    if (!controller->pool.Post(n)) CountTaskEnd(*run, run->entries[n - 1], false);
  }
}

bool ConvertRunEntry(const RunEntry& entry, const std::string& target) {
  const int32_t format = PictureFormatForTarget(target);
  if (format == 0) return false;
  const std::string source = entry.SourcePath();
  const std::string output = OutputPathFor(entry.folder, target, BaseOf(entry.name));
  // Its result is not needed: the first task of a run makes the folder, the
  // others find it there, and a folder that cannot be made fails the save.
  CreateFolder(OutputFolderFor(entry.folder, target));
  for (int attempt = 0; attempt < kTaskAttemptsMax; ++attempt) {
    Picture picture;
    // Upright and opaque, as the engine's loader makes every picture.
    const bool serviceHolds =
        !engine::IsReadByEngineOnly(source.c_str()) && picture.LoadFromFile(source.c_str()) &&
        picture.TurnUpright(FileOrientation(source.c_str())) && picture.FlattenOverWhite();
    if (serviceHolds) {
      if (SavePictureComplete(picture, output, format)) return true;
    } else if (ConvertWithEngine(target, source, output) == engine::ResultOk) {
      // The engine reads what the imaging service does not (PCX, PhotoCD,
      // Netpbm, WebP, HEIF...) or cannot make upright and opaque exactly.
      return true;
    }
  }
  return false;
}

bool SavePictureComplete(Picture& picture, const std::string& path, PictureFormat format) {
  // The same rule as the engine's writers: the imaging service fills a
  // temporary file, and only a complete picture takes the output's name.
  engine::OutputFile file;
  if (!file.Begin(path.c_str())) return false;
  if (!picture.SaveToFile(file.TempPath().c_str(), format, kConversionQuality)) return false;
  return file.Commit() == 1;
}

void RemoveLeftoverOutputs(const std::string& folder) {
  HANDLE search = nullptr;
  std::optional<std::string> name = FindFiles(folder + "\\*.part", 0, true, &search);
  while (name) {
    // A file another writer still has open cannot be deleted, and stays.
    if (engine::IsOutputTempName(*name)) engine::RemoveFile((folder + "\\" + *name).c_str());
    name = FindFiles("", 0, true, &search);
  }
  EndFileSearch(&search);
}

int32_t WINAPI ConvertListedPicture(int32_t taskValue) {
  const std::shared_ptr<ConversionRun> run = CurrentRun();
  if (!run || taskValue < 1 || taskValue > run->Size()) return 0;
  const RunEntry& entry = run->entries[taskValue - 1];
  const std::string target = TargetText();
  if (PictureFormatForTarget(target) != 0) {
    run->ClearLeftoversOnce(OutputFolderFor(entry.folder, target));
  }
  const bool converted = ConvertRunEntry(entry, target);
  CountTaskEnd(*run, entry, converted);
  return 0;
}

void FinishRun(ConversionRun& run, uint32_t elapsedMs) {
  controller->pool.Stop(kRunStopGraceMs);
  TrimWorkingSet();
  // From here a new run may start; this task keeps its own reference.
  SetCurrentRun(nullptr);
  const std::string target = TargetText();
  ShellOpen(2, OutputFolderFor(run.entries.front().folder, target) + "\\");
  ShowMessage(RunSummaryText(run.doneCount.load(), elapsedMs / 1000.0, run.FailedPaths()), 0);
}
