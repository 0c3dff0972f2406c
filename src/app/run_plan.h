#pragma once

// What a batch or drop run converts and how it reports, kept apart from the
// window so the rules can be checked on their own: which names a run takes,
// how dropped paths become entries, and the texts of the summary.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// One picture of a run: the folder it lies in (with its trailing "\") and its
// file name. Dropped files keep their own folders, so entries of one run may
// lie in different folders.
struct RunEntry {
  std::string folder;
  std::string name;

  std::string SourcePath() const { return folder + name; }
};

// Whether a file name is taken into a run: it has a dot (a name without one
// would have an empty base and no output name) and its extension occurs in
// supportedList.
bool IsListedPictureName(std::string_view supportedList, std::string_view name);

// The entries of a drop: paths separated by CR LF, each kept in its own
// folder; names refused by IsListedPictureName are left out.
std::vector<RunEntry> EntriesFromDroppedPaths(std::string_view supportedList,
                                              std::string_view droppedPaths);

// Failed pictures named one by one in a summary; the rest are counted.
constexpr size_t kNamedFailuresMax = 10;

// "转换" + converted + "张图片，用时" + seconds + "秒", and when pictures failed,
// one more line with how many and the first kNamedFailuresMax of their paths
// (then how many more).
std::string RunSummaryText(int converted, double seconds,
                           const std::vector<std::string>& failedPaths);

// Shown when a batch or drop is asked for while a run is still converting.
constexpr char kRunInProgressText[] = "正在转换图片，请等这一批转换完成后再开始新的转换";

// Milliseconds between two readings of the system tick counter, which wraps
// after 2^32 ms (49.7 days): unsigned arithmetic gives the right difference
// across the wrap.
constexpr uint32_t ElapsedTicks(uint32_t startTick, uint32_t nowTick) {
  return nowTick - startTick;
}

// The progress of a run only moves forward. Tasks count their ends in any
// order and each carries its count to the window on its own, so without this
// a smaller count could arrive after a larger one and set the bar back; the
// task that brings the count to the end leaves the bar there.
class ForwardProgress {
 public:
  // Calls show(finished) when finished is above every count shown before;
  // the calls happen one at a time, in rising order.
  template <typename Show>
  void Advance(int32_t finished, Show&& show) {
    std::lock_guard<std::mutex> lock(lock_);
    if (finished <= shown_) return;
    shown_ = finished;
    show(finished);
  }

 private:
  std::mutex lock_;
  int32_t shown_ = 0;
};
