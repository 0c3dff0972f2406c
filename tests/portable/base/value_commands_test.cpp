// Conversions of runtime values to texts, integers and byte sets, and the
// bit commands.

#include "base/value_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// Days since 1899-12-30 plus a time of day.
double Serial(int days, int hour = 0, int minute = 0, int second = 0) {
  return days + (hour * 3600 + minute * 60 + second) / 86400.0;
}

TEST(ToText, DoublesUseThirteenSignificantDigits) {
  EXPECT_EQ(ToText(1.5), "1.5");
  EXPECT_EQ(ToText(2.0), "2");
  EXPECT_EQ(ToText(0.1 + 0.2), "0.3");
  EXPECT_EQ(ToText(-2.25), "-2.25");
  EXPECT_EQ(ToText(1e20), "1e+20");
  EXPECT_EQ(ToText(1234567890123.0), "1234567890123");
  EXPECT_EQ(ToText(12345678901234.0), "1.234567890123e+13");
  EXPECT_EQ(ToText(1.0 / 3.0), "0.3333333333333");
}

TEST(ToText, FloatsUseSixSignificantDigits) {
  EXPECT_EQ(ToText(1.1f), "1.1");
  EXPECT_EQ(ToText(3.14159265f), "3.14159");
  EXPECT_EQ(ToText(-0.5f), "-0.5");
}

TEST(ToText, IntegersBooleansAndTexts) {
  EXPECT_EQ(ToText(uint8_t{255}), "255");
  EXPECT_EQ(ToText(int16_t{-32768}), "-32768");
  EXPECT_EQ(ToText(int32_t{-7}), "-7");
  EXPECT_EQ(ToText(int32_t{INT_MIN}), "-2147483648");
  EXPECT_EQ(ToText(int64_t{-9223372036854775807LL - 1}), "-9223372036854775808");
  EXPECT_EQ(ToText(int64_t{1} << 40), "1099511627776");
  EXPECT_EQ(ToText(true), "真");
  EXPECT_EQ(ToText(false), "假");
  EXPECT_EQ(ToText(std::string("\xB0\xA1x")), "\xB0\xA1x");
  EXPECT_EQ(ToText(std::monostate{}), "");
  EXPECT_EQ(ToText(RoutineAddress{0x401000}), "");
}

// Bytes written out, so the check does not depend on how literals are encoded.
TEST(ToText, BooleanTextsAreUtf8InEveryBuild) {
  EXPECT_EQ(ToText(true), "\xE7\x9C\x9F");   // 真
  EXPECT_EQ(ToText(false), "\xE5\x81\x87");  // 假
}

TEST(ToText, ByteSetsAndArraysGiveTheirBytesUpToTheFirstZero) {
  EXPECT_EQ(ToText(ByteSetBytes{'a', 'b', 0, 'c'}), "ab");
  EXPECT_EQ(ToText(ByteSetBytes{'a', 'b'}), "ab");
  EXPECT_EQ(ToText(ByteSetBytes{}), "");
  EXPECT_EQ(ToText(ArrayOf<int16_t>{{0x6261, 0x63}}), "abc");
  EXPECT_EQ(ToText(ArrayOf<uint8_t>{{'x', 'y'}}), "xy");
  EXPECT_EQ(ToText(ArrayOf<std::string>{{"a", "b"}}), "");
}

TEST(ToText, DateTimeShowsTheDateAndTimeDownToTheLastNonZeroPart) {
  EXPECT_EQ(ToText(DateTime{0}), "1899年12月30日");
  EXPECT_EQ(ToText(DateTime{Serial(45292)}), "2024年1月1日");
  EXPECT_EQ(ToText(DateTime{Serial(45292, 13)}), "2024年1月1日13时");
  EXPECT_EQ(ToText(DateTime{Serial(45292, 13, 5)}), "2024年1月1日13时5分");
  EXPECT_EQ(ToText(DateTime{Serial(45292, 13, 5, 7)}), "2024年1月1日13时5分7秒");
  EXPECT_EQ(ToText(DateTime{Serial(45292, 0, 0, 5)}), "2024年1月1日0时0分5秒");
  EXPECT_EQ(ToText(DateTime{Serial(45292, 0, 7)}), "2024年1月1日0时7分");
}

TEST(ToText, DateTimeCalendar) {
  EXPECT_EQ(DateTimeText(1), "1899年12月31日");
  EXPECT_EQ(DateTimeText(60), "1900年2月28日");
  EXPECT_EQ(DateTimeText(61), "1900年3月1日");  // 1900 is no leap year
  EXPECT_EQ(DateTimeText(36585), "2000年2月29日");
  EXPECT_EQ(DateTimeText(2958465), "9999年12月31日");
  EXPECT_EQ(DateTimeText(-657434), "100年1月1日");
}

TEST(ToText, NegativeDateTimeTakesTheTimeOfDayAsAbsoluteValue) {
  EXPECT_EQ(DateTimeText(-366), "1898年12月29日");
  EXPECT_EQ(DateTimeText(-1.25), "1899年12月29日6时");
  EXPECT_EQ(DateTimeText(-1.5), "1899年12月29日12时");
  EXPECT_EQ(DateTimeText(-0.5), "1899年12月30日12时");
}

TEST(ToText, DateTimeRoundsToTheNearestSecond) {
  EXPECT_EQ(DateTimeText(45292 + 59.6 / 86400), "2024年1月1日0时1分");
  EXPECT_EQ(DateTimeText(45292 + 0.4 / 86400), "2024年1月1日");
  EXPECT_EQ(DateTimeText(45292.9999999), "2024年1月2日");
  EXPECT_EQ(DateTimeText(-1.9999999), "1899年12月30日");
}

TEST(ToText, DateTimeOutsideTheCalendarRangeIsEmpty) {
  EXPECT_EQ(DateTimeText(2958466), "");
  EXPECT_EQ(DateTimeText(-657435), "");
  EXPECT_EQ(DateTimeText(std::numeric_limits<double>::quiet_NaN()), "");
  EXPECT_EQ(DateTimeText(std::numeric_limits<double>::infinity()), "");
}

TEST(ToInteger, TextsReadLikeAtoi) {
  EXPECT_EQ(ToInteger(std::string("123abc")), 123);
  EXPECT_EQ(ToInteger(std::string("  -42")), -42);
  EXPECT_EQ(ToInteger(std::string("\t+7")), 7);
  EXPECT_EQ(ToInteger(std::string("abc")), 0);
  EXPECT_EQ(ToInteger(std::string("")), 0);
  EXPECT_EQ(ToInteger(std::string("- 5")), 0);
  EXPECT_EQ(ToInteger(std::string("2147483647")), INT_MAX);
  EXPECT_EQ(ToInteger(std::string("-2147483648")), INT_MIN);
  // Out of range is held at the limits rather than overflowing.
  EXPECT_EQ(ToInteger(std::string("99999999999")), INT_MAX);
  EXPECT_EQ(ToInteger(std::string("-99999999999")), INT_MIN);
}

TEST(ToInteger, NumbersTruncateTowardZero) {
  EXPECT_EQ(ToInteger(true), 1);
  EXPECT_EQ(ToInteger(false), 0);
  EXPECT_EQ(ToInteger(uint8_t{200}), 200);
  EXPECT_EQ(ToInteger(int16_t{-3}), -3);
  EXPECT_EQ(ToInteger(int64_t{0x100000005LL}), 5);
  EXPECT_EQ(ToInteger(int64_t{0xFFFFFFFFLL}), -1);
  EXPECT_EQ(ToInteger(2.9), 2);
  EXPECT_EQ(ToInteger(-2.9), -2);
  EXPECT_EQ(ToInteger(2.9f), 2);
  EXPECT_EQ(ToInteger(RoutineAddress{0x401000}), 0x401000);
  EXPECT_EQ(ToInteger(DateTime{3.5}), 0);
  EXPECT_EQ(ToInteger(ByteSetBytes{1, 2}), 0);
  EXPECT_EQ(ToInteger(std::monostate{}), 0);
}

TEST(ToInteger, DoublesOutOfRangeGiveTheIndefiniteInteger) {
  EXPECT_EQ(ToInteger(1e10), INT_MIN);
  EXPECT_EQ(ToInteger(-1e10), INT_MIN);
  EXPECT_EQ(ToInteger(std::numeric_limits<double>::quiet_NaN()), INT_MIN);
  EXPECT_EQ(ToInteger(2147483647.9), INT_MAX);
  EXPECT_EQ(ToInteger(-2147483648.9), INT_MIN);
}

TEST(ToByteSet, NumbersGiveTheirLittleEndianBytes) {
  EXPECT_THAT(ToByteSet(uint8_t{0xAB}), ElementsAre(0xAB));
  EXPECT_THAT(ToByteSet(int16_t{0x0102}), ElementsAre(0x02, 0x01));
  EXPECT_THAT(ToByteSet(int32_t{0x01020304}), ElementsAre(0x04, 0x03, 0x02, 0x01));
  EXPECT_THAT(ToByteSet(int64_t{0x0102030405060708LL}),
              ElementsAre(0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01));
  EXPECT_THAT(ToByteSet(1.0f), ElementsAre(0x00, 0x00, 0x80, 0x3F));
  EXPECT_THAT(ToByteSet(1.0), ElementsAre(0, 0, 0, 0, 0, 0, 0xF0, 0x3F));
  EXPECT_THAT(ToByteSet(DateTime{1.0}), ElementsAre(0, 0, 0, 0, 0, 0, 0xF0, 0x3F));
  EXPECT_THAT(ToByteSet(true), ElementsAre(1, 0, 0, 0));
  EXPECT_THAT(ToByteSet(false), ElementsAre(0, 0, 0, 0));
  EXPECT_EQ(ToByteSet(RoutineAddress{0x401000}).size(), sizeof(uintptr_t));
}

TEST(ToByteSet, TextsByteSetsAndArrays) {
  EXPECT_THAT(ToByteSet(std::string("ab")), ElementsAre('a', 'b'));
  EXPECT_THAT(ToByteSet(std::string("")), IsEmpty());
  EXPECT_THAT(ToByteSet(ByteSetBytes{0, 9}), ElementsAre(0, 9));
  EXPECT_THAT(ToByteSet(ArrayOf<int16_t>{{1, 0x0203}}), ElementsAre(1, 0, 3, 2));
  EXPECT_THAT(ToByteSet(ArrayOf<double>{{}}), IsEmpty());
  EXPECT_THAT(ToByteSet(ArrayOf<std::string>{{"a"}}), IsEmpty());
  EXPECT_THAT(ToByteSet(ArrayOf<DateTime>{{DateTime{1}}}), IsEmpty());
  EXPECT_THAT(ToByteSet(std::monostate{}), IsEmpty());
}

TEST(ByteSets, ZeroByteSetAndLength) {
  EXPECT_THAT(ZeroByteSet(0), IsEmpty());
  EXPECT_THAT(ZeroByteSet(-3), IsEmpty());
  EXPECT_THAT(ZeroByteSet(3), ElementsAre(0, 0, 0));
  EXPECT_EQ(ByteSetLength(ZeroByteSet(5)), 5);
  EXPECT_EQ(ByteSetLength(ByteSetBytes{}), 0);
}

TEST(BitCommands, BitOrCombinesAllArguments) {
  EXPECT_EQ(BitOr(1), 1);
  EXPECT_EQ(BitOr(1, 2, 4), 7);
  EXPECT_EQ(BitOr(0x10, 0x2000, 0x10), 0x2010);
  EXPECT_EQ(BitOr({}), 0);
  EXPECT_EQ(BitOr(INT_MIN, 1), INT_MIN | 1);
}

TEST(BitCommands, ShiftLeftUsesTheCountModulo32) {
  EXPECT_EQ(ShiftLeft(1, 0), 1);
  EXPECT_EQ(ShiftLeft(1, 4), 16);
  EXPECT_EQ(ShiftLeft(1, 31), INT_MIN);
  EXPECT_EQ(ShiftLeft(1, 32), 1);
  EXPECT_EQ(ShiftLeft(1, 33), 2);
  EXPECT_EQ(ShiftLeft(1, -1), INT_MIN);  // -1 AND 31 = 31
  EXPECT_EQ(ShiftLeft(3, 31), INT_MIN);  // bits above 32 are dropped
  EXPECT_EQ(ShiftLeft(-1, 4), -16);
  EXPECT_EQ(ShiftLeft(0x40000000, 1), INT_MIN);
}

}  // namespace
