#include "base/value_commands.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace {

template <class>
constexpr bool kAlwaysFalse = false;

// Sized first, then copied: vector::insert of raw bytes trips a false
// -Wstringop-overflow in GCC 12 at -O2.
template <class T>
ByteSetBytes BytesOf(const T& value) {
  ByteSetBytes out(sizeof value);
  std::memcpy(out.data(), &value, sizeof value);
  return out;
}

template <class T>
ByteSetBytes ElementBytes(const std::vector<T>& elements) {
  ByteSetBytes out(elements.size() * sizeof(T));
  if (!out.empty()) std::memcpy(out.data(), elements.data(), out.size());
  return out;
}

// Data bytes shown as text: up to the first zero byte, or all of them.
std::string TextUpToZero(const ByteSetBytes& bytes) {
  size_t n = 0;
  while (n < bytes.size() && bytes[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(bytes.data()), n);
}

template <class... Args>
std::string Format(const char* format, Args... args) {
  char buffer[128];
  const int n = std::snprintf(buffer, sizeof buffer, format, args...);
  return n > 0 ? std::string(buffer, static_cast<size_t>(std::min(n, 127))) : std::string();
}

// Conversion toward zero with the x86 "integer indefinite" answer (INT_MIN)
// for NaN and values out of range, which a plain cast would leave undefined.
int TruncateToInt(double v) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) return INT_MIN;
  return static_cast<int>(v);
}

// atoi's reading of the leading decimal number; out-of-range values are held
// at the int limits as strtol does, instead of overflowing.
int LeadingInteger(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > static_cast<int64_t>(INT_MAX) + 1)
      magnitude = static_cast<int64_t>(INT_MAX) + 1;
  }
  const int64_t v = negative ? -magnitude : magnitude;
  if (v > INT_MAX) return INT_MAX;
  return static_cast<int>(v);
}

struct CivilDate {
  int64_t year;
  int month;
  int day;
};

// Proleptic Gregorian date of a day count since 1970-01-01 (H. Hinnant's
// civil_from_days).
CivilDate CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return CivilDate{yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// Day 0 of the runtime's dates, 1899-12-30, counted from 1970-01-01.
constexpr int64_t kDateEpochFromUnix = -25569;
// The date range the platform's date conversions accept: 100-01-01 up to the
// end of 9999-12-31.
constexpr double kFirstDay = -657434.0;
constexpr double kDayAfterLast = 2958466.0;

}  // namespace

std::string DateTimeText(double days) {
  if (!(days >= kFirstDay && days < kDayAfterLast)) return std::string();
  // The integer part counts days (negative before 1899-12-30); the fraction is
  // the time of day, read as its absolute value, so -1.25 is 1899-12-29 06:00.
  double wholeDays = std::trunc(days);
  int64_t dayIndex = static_cast<int64_t>(wholeDays);
  int64_t seconds = std::llround(std::fabs(days - wholeDays) * 86400.0);
  if (seconds >= 86400) {  // rounded up to the next midnight
    seconds -= 86400;
    ++dayIndex;
  }
  const CivilDate date = CivilFromDays(dayIndex + kDateEpochFromUnix);
  const int hour = static_cast<int>(seconds / 3600);
  const int minute = static_cast<int>(seconds / 60 % 60);
  const int second = static_cast<int>(seconds % 60);

  std::string text =
      Format("%lld年%d月%d日", static_cast<long long>(date.year), date.month, date.day);
  if (second != 0) {
    text += Format("%d时%d分%d秒", hour, minute, second);
  } else if (minute != 0) {
    text += Format("%d时%d分", hour, minute);
  } else if (hour != 0) {
    text += Format("%d时", hour);
  }
  return text;
}

std::string ToText(const RuntimeValue& value) {
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, uint8_t>) {
          return Format("%u", static_cast<unsigned>(v));
        } else if constexpr (std::is_same_v<T, int16_t> || std::is_same_v<T, int32_t>) {
          return Format("%d", static_cast<int>(v));
        } else if constexpr (std::is_same_v<T, int64_t>) {
          return Format("%lld", static_cast<long long>(v));
        } else if constexpr (std::is_same_v<T, float>) {
          return Format("%.6g", static_cast<double>(v));
        } else if constexpr (std::is_same_v<T, double>) {
          return Format("%.13g", v);
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? "真" : "假";
        } else if constexpr (std::is_same_v<T, DateTime>) {
          return DateTimeText(v.days);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return v;
        } else if constexpr (std::is_same_v<T, ByteSetBytes>) {
          return TextUpToZero(v);
        } else if constexpr (std::is_same_v<T, ArrayOf<std::string>>) {
          // The data of a text array are text addresses, not characters.
          return std::string();
        } else if constexpr (std::is_same_v<T, ArrayOf<uint8_t>> ||
                             std::is_same_v<T, ArrayOf<int16_t>> ||
                             std::is_same_v<T, ArrayOf<int32_t>> ||
                             std::is_same_v<T, ArrayOf<int64_t>> ||
                             std::is_same_v<T, ArrayOf<float>> ||
                             std::is_same_v<T, ArrayOf<double>> ||
                             std::is_same_v<T, ArrayOf<DateTime>>) {
          return TextUpToZero(ElementBytes(v.elements));
        } else if constexpr (std::is_same_v<T, std::monostate> ||
                             std::is_same_v<T, RoutineAddress>) {
          return std::string();
        } else {
          static_assert(kAlwaysFalse<T>, "every alternative is handled");
        }
      },
      value);
}

int ToInteger(const RuntimeValue& value) {
  return std::visit(
      [](const auto& v) -> int {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, bool>) {
          return v ? 1 : 0;
        } else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                             std::is_same_v<T, int32_t>) {
          return static_cast<int>(v);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          return static_cast<int>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
        } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
          return TruncateToInt(static_cast<double>(v));
        } else if constexpr (std::is_same_v<T, std::string>) {
          return LeadingInteger(v);
        } else if constexpr (std::is_same_v<T, RoutineAddress>) {
          return static_cast<int>(static_cast<uint32_t>(v.address));
        } else {
          return 0;
        }
      },
      value);
}

ByteSetBytes ToByteSet(const RuntimeValue& value) {
  return std::visit(
      [](const auto& v) -> ByteSetBytes {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                      std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t> ||
                      std::is_same_v<T, float> || std::is_same_v<T, double>) {
          return BytesOf(v);
        } else if constexpr (std::is_same_v<T, bool>) {
          return BytesOf(static_cast<int32_t>(v ? 1 : 0));  // booleans are 32-bit
        } else if constexpr (std::is_same_v<T, DateTime>) {
          return BytesOf(v.days);
        } else if constexpr (std::is_same_v<T, RoutineAddress>) {
          return BytesOf(v.address);  // 4 bytes in the 32-bit program
        } else if constexpr (std::is_same_v<T, std::string>) {
          return ByteSetBytes(v.begin(), v.end());
        } else if constexpr (std::is_same_v<T, ByteSetBytes>) {
          return v;
        } else if constexpr (std::is_same_v<T, ArrayOf<uint8_t>> ||
                             std::is_same_v<T, ArrayOf<int16_t>> ||
                             std::is_same_v<T, ArrayOf<int32_t>> ||
                             std::is_same_v<T, ArrayOf<int64_t>> ||
                             std::is_same_v<T, ArrayOf<float>> ||
                             std::is_same_v<T, ArrayOf<double>>) {
          return ElementBytes(v.elements);
        } else {
          return ByteSetBytes();
        }
      },
      value);
}

ByteSetBytes ZeroByteSet(int length) {
  return length <= 0 ? ByteSetBytes() : ByteSetBytes(static_cast<size_t>(length), 0);
}

int ByteSetLength(const ByteSetBytes& bytes) {
  return static_cast<int>(bytes.size());
}

int BitOr(std::initializer_list<int> values) {
  int result = 0;
  for (int v : values) result |= v;
  return result;
}

int ShiftLeft(int value, int count) {
  // Shifted as an unsigned 32-bit pattern: bits leaving the top are dropped
  // rather than overflowing a signed value.
  const uint32_t shifted = static_cast<uint32_t>(value) << (static_cast<uint32_t>(count) & 31u);
  return static_cast<int>(shifted);
}
