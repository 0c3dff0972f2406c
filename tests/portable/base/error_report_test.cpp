// Error report texts, the 1-based array checks and the native fatal path.

#include "base/error_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "base/array_access.h"
#include "base/runtime_memory.h"

#ifndef _WIN32
// Huge requests must reach the allocator's failure answer rather than the
// sanitizer's own abort.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}
#endif

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

TEST(ErrorReportText, CodedErrorHasCodeAndMessageLines) {
  EXPECT_EQ(FormatRuntimeErrorText(ErrorCodeText(1), 1),
            "运行时出错!\r\n\r\n错误代码：1\r\n\r\n错误信息：数组成员引用下标超出定义范围\r\n");
}

TEST(ErrorReportText, CodeZeroHasNoCodeLine) {
  EXPECT_EQ(FormatRuntimeErrorText(AllocationFailureText(1000), 0),
            "运行时出错!\r\n\r\n错误信息：分配 1000 字节内存失败!\r\n");
}

TEST(ErrorReportText, EmptyMessageHasNoMessageLine) {
  EXPECT_EQ(FormatRuntimeErrorText("", 0), "运行时出错!\r\n\r\n");
  EXPECT_EQ(FormatRuntimeErrorText("", 12), "运行时出错!\r\n\r\n错误代码：12\r\n\r\n");
}

TEST(ErrorReportText, CodeTableCoversOneToEleven) {
  EXPECT_EQ(ErrorCodeText(0), nullptr);
  EXPECT_EQ(ErrorCodeText(12), nullptr);
  EXPECT_EQ(ErrorCodeText(-1), nullptr);
  EXPECT_STREQ(ErrorCodeText(4), "数组成员引用下标必须大于等于1");
  EXPECT_STREQ(ErrorCodeText(6), "调用DLL命令后发现堆栈错误");
  EXPECT_STREQ(ErrorCodeText(10), "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零");
  EXPECT_STREQ(ErrorCodeText(11), "所提供参数的数据类型不符合要求");
}

TEST(ErrorReportText, AllocationFailureNamesTheFullRequest) {
  EXPECT_EQ(AllocationFailureText(1000), "分配 1000 字节内存失败!");
  EXPECT_EQ(AllocationFailureText(3000000000u), "分配 3000000000 字节内存失败!");
}

TEST(ArrayAccess, OneBasedIndexesInsideTheArray) {
  std::vector<int> values = {10, 20, 30};
  EXPECT_EQ(ElementAt(values, 1), 10);
  EXPECT_EQ(ElementAt(values, 3), 30);
  ElementAt(values, 2) = 99;
  EXPECT_EQ(values[1], 99);
  const std::vector<int>& constValues = values;
  EXPECT_EQ(ElementAt(constValues, 2), 99);
}

#ifndef _WIN32

std::string ReportText(int code) {
  return FormatRuntimeErrorText(ErrorCodeText(code), code);
}

TEST(FatalReportDeathTest, IndexBelowOneIsErrorFour) {
  std::vector<int> values = {1, 2};
  EXPECT_EXIT(ElementAt(values, 0), ::testing::ExitedWithCode(255), HasSubstr(ReportText(4)));
  EXPECT_EXIT(ElementAt(values, INT_MIN), ::testing::ExitedWithCode(255), HasSubstr(ReportText(4)));
  std::vector<int> none;
  EXPECT_EXIT(ElementAt(none, 0), ::testing::ExitedWithCode(255), HasSubstr(ReportText(4)));
}

TEST(FatalReportDeathTest, IndexPastTheEndIsErrorOne) {
  std::vector<int> values = {1, 2};
  EXPECT_EXIT(ElementAt(values, 3), ::testing::ExitedWithCode(255), HasSubstr(ReportText(1)));
  std::vector<int> none;
  EXPECT_EXIT(ElementAt(none, 1), ::testing::ExitedWithCode(255), HasSubstr(ReportText(1)));
}

TEST(FatalReportDeathTest, ReportEndsWithoutRunningExitRoutines) {
  EXPECT_EXIT(
      {
        std::atexit([] { std::fputs("exit routine ran", stderr); });
        ReportFatal("载入启动窗口失败", 0);
      },
      ::testing::ExitedWithCode(255),
      ::testing::AllOf(HasSubstr("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"),
                       Not(HasSubstr("exit routine ran")), Not(HasSubstr("错误代码"))));
}

TEST(FatalReportDeathTest, FailedAllocationReportsTheRequestedSize) {
  const size_t huge = std::numeric_limits<size_t>::max() / 2;
  const std::string expected = FormatRuntimeErrorText(AllocationFailureText(huge), 0);
  EXPECT_EXIT(RuntimeAlloc(huge), ::testing::ExitedWithCode(255), HasSubstr(expected));
  EXPECT_EXIT(
      {
        void* block = RuntimeAlloc(16);
        RuntimeRealloc(block, huge);
      },
      ::testing::ExitedWithCode(255), HasSubstr(expected));
}

TEST(FatalReportDeathTest, CodedReportUsesTheTableText) {
  EXPECT_EXIT(ReportRuntimeError(6), ::testing::ExitedWithCode(255), HasSubstr(ReportText(6)));
}

#endif

}  // namespace
