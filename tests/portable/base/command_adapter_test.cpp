// The portable commands through the uniform calling form: arguments in
// 12-byte records, results read back from the runtime blocks and freed.

#include "base/command_adapter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/runtime_memory.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

TEST(ArgRecord, IsTwelveBytesWithTheTagAfterTheValue) {
  static_assert(sizeof(ArgRecord) == 12, "");
  EXPECT_EQ(offsetof(ArgRecord, value), 0u);
  EXPECT_EQ(offsetof(ArgRecord, tag), 8u);
  ArgRecord pair[2] = {MakeInteger(1), MakeInteger(2)};
  EXPECT_EQ(reinterpret_cast<const char*>(&pair[1]) - reinterpret_cast<const char*>(&pair[0]), 12);
}

TEST(ArgRecord, HelpersStoreValuesLowWordFirst) {
  EXPECT_EQ(MakeInteger(-1).value, 0xFFFFFFFFu);
  EXPECT_EQ(AsInt32(MakeInteger(-5)), -5);
  EXPECT_EQ(AsInt64(MakeLongInteger(-5)), -5);
  EXPECT_EQ(AsDouble(MakeDouble(0.25)), 0.25);
  EXPECT_EQ(AsFloat(MakeFloat(0.5f)), 0.5f);
  EXPECT_EQ(MakeBoolean(true).value, 1u);
  const ArgRecord ref = MakeControlRef(3, 7);
  EXPECT_EQ(LowWord(ref), 3u);
  EXPECT_EQ(HighWord(ref), 7u);
  EXPECT_EQ(ref.tag, 0x00010001u);
  const char* text = "x";
  EXPECT_EQ(AsText(MakeText(text)), text);
  EXPECT_TRUE(IsOmitted(MakeOmitted()));
  EXPECT_EQ(MakeArray(TypeTag::Text, nullptr).tag, 0xA0000004u);
  EXPECT_TRUE(IsArrayTag(ArrayTagOf(TypeTag::Integer)));
  EXPECT_FALSE(IsArrayTag(TagValue(TypeTag::Integer)));
  EXPECT_EQ(ElementTagOf(ArrayTagOf(TypeTag::Double)), TypeTag::Double);
}

// Runs a command and hands back its result record.
template <size_t N>
ArgRecord Call(CommandCall command, const ArgRecord (&args)[N]) {
  ArgRecord result = MakeOmitted();
  command(&result, static_cast<int>(N), args);
  return result;
}

// Takes a text result, frees it and returns its contents.
std::string TakeText(ArgRecord result) {
  EXPECT_EQ(result.tag, TagValue(TypeTag::Text));
  EXPECT_NE(AsText(result), nullptr);
  std::string text = AsText(result) != nullptr ? AsText(result) : "";
  FreeResultRecord(result);
  return text;
}

std::vector<std::string> TakeTextArray(ArgRecord result) {
  EXPECT_EQ(result.tag, ArrayTagOf(TypeTag::Text));
  EXPECT_EQ(*static_cast<const uint32_t*>(AsPointer(result)), 1u);  // one dimension
  std::vector<std::string> texts = ReadTextArrayBlock(AsPointer(result));
  FreeResultRecord(result);
  return texts;
}

ByteSetBytes TakeByteSet(ArgRecord result) {
  EXPECT_EQ(result.tag, TagValue(TypeTag::ByteSet));
  ByteSetBytes bytes = ReadByteSetBlock(AsPointer(result));
  FreeResultRecord(result);
  return bytes;
}

TEST(UniformCommands, TextLengthLeftAndRight) {
  EXPECT_EQ(AsInt32(Call(CmdTextLength, {MakeText("abc")})), 3);
  EXPECT_EQ(AsInt32(Call(CmdTextLength, {MakeText(nullptr)})), 0);
  EXPECT_EQ(TakeText(Call(CmdLeftText, {MakeText("abcdef"), MakeInteger(2)})), "ab");
  EXPECT_EQ(TakeText(Call(CmdLeftText, {MakeText("abcdef"), MakeInteger(0)})), "");
  EXPECT_EQ(TakeText(Call(CmdRightText, {MakeText("abcdef"), MakeInteger(99)})), "abcdef");
  EXPECT_EQ(TakeText(Call(CmdRightText, {MakeText("abcdef"), MakeByte(2)})), "ef");
}

TEST(UniformCommands, FindTextTakesOmittedAndTrailingOptionalArguments) {
  const char* list = "jpg\xA1\xA2png";
  EXPECT_EQ(AsInt32(Call(CmdFindText, {MakeText(list), MakeText("png")})), 6);
  EXPECT_EQ(
      AsInt32(Call(CmdFindText, {MakeText(list), MakeText("PNG"), MakeOmitted(), MakeInteger(1)})),
      6);
  EXPECT_EQ(AsInt32(Call(CmdFindText,
                         {MakeText(list), MakeText("PNG"), MakeOmitted(), MakeBoolean(true)})),
            6);
  EXPECT_EQ(AsInt32(Call(CmdFindText, {MakeText("abcabc"), MakeText("abc"), MakeInteger(2)})), 4);
  EXPECT_EQ(AsInt32(Call(CmdFindText, {MakeText(""), MakeText("")})), -1);
  const ArgRecord none[] = {MakeOmitted()};
  ArgRecord result = MakeOmitted();
  CmdFindText(&result, 0, none);  // no arguments at all: nothing to find
  EXPECT_EQ(AsInt32(result), -1);
}

TEST(UniformCommands, IgnoreCaseOnlyWhenTheArgumentIsExactlyOne) {
  const ArgRecord text = MakeText("x.JPG");
  const ArgRecord sought = MakeText(".jpg");
  EXPECT_EQ(AsInt32(Call(CmdFindText, {text, sought, MakeOmitted(), MakeInteger(1)})), 2);
  EXPECT_EQ(AsInt32(Call(CmdFindText, {text, sought, MakeOmitted(), MakeInteger(2)})), -1);
  EXPECT_EQ(AsInt32(Call(CmdFindText, {text, sought, MakeOmitted(), MakeInteger(-1)})), -1);
  EXPECT_EQ(AsInt32(Call(CmdFindText, {text, sought, MakeOmitted(), MakeBoolean(false)})), -1);
  EXPECT_EQ(AsInt32(Call(CmdFindText, {text, sought, MakeOmitted(), MakeOmitted()})), -1);
  EXPECT_EQ(AsInt32(Call(CmdFindTextFromEnd, {text, sought, MakeOmitted(), MakeInteger(1)})), 2);
  EXPECT_EQ(AsInt32(Call(CmdFindTextFromEnd, {text, sought, MakeOmitted(), MakeInteger(3)})), -1);
}

TEST(UniformCommands, FindTextFromEndWithAndWithoutStart) {
  const ArgRecord path = MakeText("C:\\a\\b.jpg");
  const ArgRecord slash = MakeText("\\");
  EXPECT_EQ(AsInt32(Call(CmdFindTextFromEnd, {path, slash})), 5);
  EXPECT_EQ(AsInt32(Call(CmdFindTextFromEnd, {path, slash, MakeOmitted(), MakeOmitted()})), 5);
  EXPECT_EQ(AsInt32(Call(CmdFindTextFromEnd, {path, slash, MakeInteger(0)})), -1);
  EXPECT_EQ(AsInt32(Call(CmdFindTextFromEnd, {path, slash, MakeInteger(1)})), -1);
  EXPECT_EQ(AsInt32(Call(CmdFindTextFromEnd, {path, slash, MakeInteger(5)})), 3);
  EXPECT_EQ(AsInt32(Call(CmdFindTextFromEnd, {path, slash, MakeInteger(500)})), 5);
}

TEST(UniformCommands, SplitTextReturnsAnArrayOfNewTexts) {
  EXPECT_THAT(TakeTextArray(Call(CmdSplitText, {MakeText("a,b,")})), ElementsAre("a", "b"));
  EXPECT_THAT(TakeTextArray(Call(CmdSplitText, {MakeText("")})), IsEmpty());
  EXPECT_THAT(TakeTextArray(Call(CmdSplitText, {MakeText("a\r\nb"), MakeText("\r\n")})),
              ElementsAre("a", "b"));
  EXPECT_THAT(TakeTextArray(Call(CmdSplitText, {MakeText("a,b,c"), MakeOmitted(), MakeInteger(2)})),
              ElementsAre("a", "b"));
  EXPECT_THAT(
      TakeTextArray(Call(CmdSplitText, {MakeText("a,b,c"), MakeOmitted(), MakeInteger(-1)})),
      IsEmpty());
  EXPECT_THAT(TakeTextArray(Call(CmdSplitText, {MakeText("a;b"), MakeText("")})),
              ElementsAre("a;b"));
}

TEST(UniformCommands, ToTextOfEachBasicType) {
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeDouble(0.1 + 0.2)})), "0.3");
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeFloat(1.1f)})), "1.1");
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeByte(200)})), "200");
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeShort(-2)})), "-2");
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeInteger(42)})), "42");
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeLongInteger(-10000000000LL)})), "-10000000000");
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeBoolean(true)})), "真");
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeDateTime(45292.5)})), "2024年1月1日12时");
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeText("\xB0\xA1")})), "\xB0\xA1");
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeControlRef(1, 2)})), "");
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeOmitted()})), "");
}

TEST(UniformCommands, ToTextOfBlocksReadsTheirBytes) {
  const char bytes[] = {'h', 'i', 0, 'x'};
  RuntimeBlock byteSet(NewByteSetBlock(bytes, sizeof bytes));
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeByteSet(byteSet.Get())})), "hi");
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeByteSet(nullptr)})), "");

  RuntimeBlock shorts(NewArrayBlock(2, sizeof(int16_t)));
  const int16_t values[] = {0x6261, 0x0063};
  std::memcpy(ArrayBlockData(shorts.Get()), values, sizeof values);
  EXPECT_EQ(TakeText(Call(CmdToText, {MakeArray(TypeTag::Short, shorts.Get())})), "abc");
}

TEST(UniformCommands, ToIntegerOfRecords) {
  EXPECT_EQ(AsInt32(Call(CmdToInteger, {MakeText("  -12x")})), -12);
  EXPECT_EQ(AsInt32(Call(CmdToInteger, {MakeDouble(-7.9)})), -7);
  EXPECT_EQ(AsInt32(Call(CmdToInteger, {MakeLongInteger(0x700000003LL)})), 3);
  EXPECT_EQ(AsInt32(Call(CmdToInteger, {MakeBoolean(true)})), 1);
  EXPECT_EQ(AsInt32(Call(CmdToInteger, {MakeShort(-1)})), -1);
  EXPECT_EQ(AsInt32(Call(CmdToInteger, {MakeText(nullptr)})), 0);
  EXPECT_EQ(AsInt32(Call(CmdToInteger, {MakeControlRef(1, 1)})), 0);
}

TEST(UniformCommands, ByteSetCommandsReturnBlocksAndNullWhenEmpty) {
  ArgRecord zeros = Call(CmdZeroByteSet, {MakeInteger(3)});
  ASSERT_NE(AsPointer(zeros), nullptr);
  EXPECT_EQ(*static_cast<const uint32_t*>(AsPointer(zeros)), 1u);
  EXPECT_EQ(AsInt32(Call(CmdByteSetLength, {zeros})), 3);
  EXPECT_THAT(TakeByteSet(zeros), ElementsAre(0, 0, 0));

  const ArgRecord empty = Call(CmdZeroByteSet, {MakeInteger(0)});
  EXPECT_EQ(empty.tag, TagValue(TypeTag::ByteSet));
  EXPECT_EQ(AsPointer(empty), nullptr);
  EXPECT_EQ(AsPointer(Call(CmdZeroByteSet, {MakeInteger(-5)})), nullptr);
  EXPECT_EQ(AsInt32(Call(CmdByteSetLength, {empty})), 0);

  EXPECT_THAT(TakeByteSet(Call(CmdToByteSet, {MakeInteger(0x01020304)})), ElementsAre(4, 3, 2, 1));
  EXPECT_THAT(TakeByteSet(Call(CmdToByteSet, {MakeShort(0x0102)})), ElementsAre(2, 1));
  EXPECT_THAT(TakeByteSet(Call(CmdToByteSet, {MakeBoolean(true)})), ElementsAre(1, 0, 0, 0));
  EXPECT_THAT(TakeByteSet(Call(CmdToByteSet, {MakeText("ab")})), ElementsAre('a', 'b'));
  EXPECT_EQ(AsPointer(Call(CmdToByteSet, {MakeText("")})), nullptr);

  const uint8_t raw[] = {9, 0, 8};
  RuntimeBlock source(NewByteSetBlock(raw, sizeof raw));
  ArgRecord copy = Call(CmdToByteSet, {MakeByteSet(source.Get())});
  EXPECT_NE(AsPointer(copy), source.Get());  // a new block, owned by the caller
  EXPECT_THAT(TakeByteSet(copy), ElementsAre(9, 0, 8));
}

TEST(UniformCommands, BitOrAndShiftLeft) {
  EXPECT_EQ(AsInt32(Call(CmdBitOr, {MakeInteger(1), MakeInteger(2), MakeInteger(0x100)})), 0x103);
  EXPECT_EQ(AsInt32(Call(CmdShiftLeft, {MakeInteger(1), MakeInteger(33)})), 2);
  EXPECT_EQ(AsInt32(Call(CmdShiftLeft, {MakeInteger(1), MakeInteger(-1)})), INT32_MIN);
}

TEST(UniformCommands, ValueOfRecordCopiesTextArrays) {
  std::vector<std::string> texts = {"one", "", "\xB0\xA1"};
  RuntimeBlock block(NewTextArrayBlock(texts));
  const RuntimeValue value = ValueOfRecord(MakeArray(TypeTag::Text, block.Get()));
  ASSERT_TRUE(std::holds_alternative<ArrayOf<std::string>>(value));
  EXPECT_EQ(std::get<ArrayOf<std::string>>(value).elements, texts);
  FreeTextArrayBlock(block.Release());
}

TEST(RuntimeBlocks, TextArrayWithNullElementsReadsThemAsEmpty) {
  void* block = NewArrayBlock(2, sizeof(char*));
  EXPECT_EQ(ArrayBlockCount(block), 2u);
  char* first = RuntimeTextCopy("a");
  std::memcpy(ArrayBlockData(block), &first, sizeof first);
  EXPECT_THAT(ReadTextArrayBlock(block), ElementsAre("a", ""));
  FreeTextArrayBlock(block);  // frees "a", skips the null element
  FreeTextArrayBlock(nullptr);
  EXPECT_THAT(ReadTextArrayBlock(nullptr), IsEmpty());
}

TEST(RuntimeBlocks, ByteSetBlockLayout) {
  const uint8_t data[] = {0xAA, 0xBB};
  RuntimeBlock block(NewByteSetBlock(data, 2));
  const auto* words = static_cast<const uint32_t*>(block.Get());
  EXPECT_EQ(words[0], 1u);
  EXPECT_EQ(words[1], 2u);
  EXPECT_EQ(ByteSetBlockData(block.Get())[1], 0xBB);
  EXPECT_EQ(NewByteSetBlock(data, 0), nullptr);
  EXPECT_EQ(ByteSetBlockLength(nullptr), 0u);
}

TEST(RuntimeMemory, AllocReallocKeepContentsAndFreeAcceptsNull) {
  auto* p = static_cast<char*>(RuntimeAlloc(4));
  std::memcpy(p, "abc", 4);
  p = static_cast<char*>(RuntimeRealloc(p, 4096));
  EXPECT_STREQ(p, "abc");
  RuntimeFree(p);
  RuntimeFree(nullptr);
  void* fromNull = RuntimeRealloc(nullptr, 8);
  EXPECT_NE(fromNull, nullptr);
  RuntimeFree(fromNull);
  void* zero = RuntimeAlloc(0);
  EXPECT_NE(zero, nullptr);
  RuntimeFree(zero);
  char* copy = RuntimeTextCopy(std::string_view("xy\0z", 4));
  EXPECT_EQ(std::string(copy, 5), std::string("xy\0z\0", 5));
  RuntimeFree(copy);
}

}  // namespace
