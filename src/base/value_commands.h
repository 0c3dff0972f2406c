#pragma once

// The runtime's conversion, byte-set and bit commands over one value of any
// basic type.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>
#include <vector>

// Date and time as days since 1899-12-30; the fraction is the time of day.
struct DateTime {
  double days;
};

// Address of a routine.
struct RoutineAddress {
  uintptr_t address;
};

// A one-dimensional runtime array of T.
template <class T>
struct ArrayOf {
  std::vector<T> elements;
};

using ByteSetBytes = std::vector<uint8_t>;

// One value of any basic type; std::monostate is "any other type" (a window
// or control reference, a COM-object variable, an unknown tag).
using RuntimeValue =
    std::variant<std::monostate, uint8_t, int16_t, int32_t, int64_t, float, double, bool, DateTime,
                 std::string, ByteSetBytes, RoutineAddress, ArrayOf<uint8_t>, ArrayOf<int16_t>,
                 ArrayOf<int32_t>, ArrayOf<int64_t>, ArrayOf<float>, ArrayOf<double>,
                 ArrayOf<DateTime>, ArrayOf<std::string>>;

// Byte "%u"; short, integer "%d"; long integer decimal; float "%.6g"; double
// "%.13g"; boolean "真"/"假"; text a copy; date-time "Y年M月D日" plus the time
// parts down to the last non-zero one; byte set or array of a fixed-size type
// its data bytes up to the first zero byte; anything else empty.
std::string ToText(const RuntimeValue& value);

// The date-time text alone (empty outside the years 100..9999).
std::string DateTimeText(double days);

// Boolean 0/1; byte, short, integer, routine the value; long integer its low
// 32 bits; float, double truncated toward zero; text as atoi; anything else 0.
int ToInteger(const RuntimeValue& value);

// The value's bytes in memory order (little-endian): numbers, booleans (4
// bytes), date-times, routines; a text without terminator; a byte set copied;
// an array of a numeric type its elements' bytes; anything else empty.
ByteSetBytes ToByteSet(const RuntimeValue& value);

// length zero bytes; empty when length <= 0.
ByteSetBytes ZeroByteSet(int length);
int ByteSetLength(const ByteSetBytes& bytes);

int BitOr(std::initializer_list<int> values);
template <class... Ints>
int BitOr(int first, Ints... rest) {
  return BitOr({first, static_cast<int>(rest)...});
}

// value shifted left by (count AND 31), as a 32-bit pattern.
int ShiftLeft(int value, int count);
