#pragma once

// The uniform calling form shared by the runtime's and the engine's commands:
// a command receives a result record, an argument count and an array of
// 12-byte argument records (an 8-byte value, low word first, and a 32-bit
// type tag). A record whose tag is 0 stands for an omitted argument.

#include <cstdint>
#include <cstring>

enum class TypeTag : uint32_t {
  Omitted = 0,
  Byte = 0x80000101,
  Short = 0x80000201,
  Integer = 0x80000301,
  LongInteger = 0x80000401,
  Float = 0x80000501,
  Double = 0x80000601,
  Boolean = 0x80000002,
  DateTime = 0x80000003,    // double, days since 1899-12-30
  Text = 0x80000004,        // address of a zero-terminated text (UTF-8 in the program)
  ByteSet = 0x80000005,     // address of a byte-set block, null when empty
  Routine = 0x80000006,     // address of a routine
  ControlRef = 0x00010001,  // low word window id, high word control id
  ComObject = 0x00010030,   // address of a COM-object variable
};

// Set on any of the tags above: an array of that type (address of an array
// block: 32-bit dimension count, 32-bit element count, the elements).
constexpr uint32_t kArrayFlag = 0x20000000;

#pragma pack(push, 4)
struct ArgRecord {
  uint64_t value;
  uint32_t tag;
};
#pragma pack(pop)
static_assert(sizeof(ArgRecord) == 12, "argument records are 12 bytes");

using CommandCall = void (*)(ArgRecord* result, int argCount, const ArgRecord* args);

// --- Tags -------------------------------------------------------------------

constexpr uint32_t TagValue(TypeTag tag) {
  return static_cast<uint32_t>(tag);
}
constexpr uint32_t ArrayTagOf(TypeTag element) {
  return TagValue(element) | kArrayFlag;
}
constexpr bool IsArrayTag(uint32_t tag) {
  return tag != 0 && (tag & kArrayFlag) != 0;
}
constexpr TypeTag ElementTagOf(uint32_t arrayTag) {
  return static_cast<TypeTag>(arrayTag & ~kArrayFlag);
}

// --- Making records ---------------------------------------------------------

inline ArgRecord MakeRecord(uint32_t tag, uint64_t value) {
  return ArgRecord{value, tag};
}
inline ArgRecord MakeOmitted() {
  return ArgRecord{0, 0};
}
inline ArgRecord MakeByte(uint8_t v) {
  return MakeRecord(TagValue(TypeTag::Byte), v);
}
inline ArgRecord MakeShort(int16_t v) {
  return MakeRecord(TagValue(TypeTag::Short), static_cast<uint16_t>(v));
}
inline ArgRecord MakeInteger(int32_t v) {
  return MakeRecord(TagValue(TypeTag::Integer), static_cast<uint32_t>(v));
}
inline ArgRecord MakeLongInteger(int64_t v) {
  return MakeRecord(TagValue(TypeTag::LongInteger), static_cast<uint64_t>(v));
}
inline ArgRecord MakeFloat(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return MakeRecord(TagValue(TypeTag::Float), bits);
}
inline ArgRecord MakeDoubleTagged(uint32_t tag, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return MakeRecord(tag, bits);
}
inline ArgRecord MakeDouble(double v) {
  return MakeDoubleTagged(TagValue(TypeTag::Double), v);
}
inline ArgRecord MakeDateTime(double days) {
  return MakeDoubleTagged(TagValue(TypeTag::DateTime), days);
}
inline ArgRecord MakeBoolean(bool v) {
  return MakeRecord(TagValue(TypeTag::Boolean), v ? 1 : 0);
}
inline ArgRecord MakePointer(uint32_t tag, const void* p) {
  return MakeRecord(tag, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)));
}
inline ArgRecord MakeText(const char* text) {
  return MakePointer(TagValue(TypeTag::Text), text);
}
inline ArgRecord MakeByteSet(const void* block) {
  return MakePointer(TagValue(TypeTag::ByteSet), block);
}
inline ArgRecord MakeRoutine(const void* routine) {
  return MakePointer(TagValue(TypeTag::Routine), routine);
}
inline ArgRecord MakeComObject(const void* variable) {
  return MakePointer(TagValue(TypeTag::ComObject), variable);
}
inline ArgRecord MakeControlRef(uint32_t windowId, uint32_t controlId) {
  return MakeRecord(TagValue(TypeTag::ControlRef),
                    static_cast<uint64_t>(windowId) | (static_cast<uint64_t>(controlId) << 32));
}
inline ArgRecord MakeArray(TypeTag element, const void* block) {
  return MakePointer(ArrayTagOf(element), block);
}

// --- Reading records --------------------------------------------------------

inline bool IsOmitted(const ArgRecord& r) {
  return r.tag == 0;
}
inline bool HasTag(const ArgRecord& r, TypeTag tag) {
  return r.tag == TagValue(tag);
}
inline uint32_t LowWord(const ArgRecord& r) {
  return static_cast<uint32_t>(r.value);
}
inline uint32_t HighWord(const ArgRecord& r) {
  return static_cast<uint32_t>(r.value >> 32);
}
inline int32_t AsInt32(const ArgRecord& r) {
  return static_cast<int32_t>(LowWord(r));
}
inline int64_t AsInt64(const ArgRecord& r) {
  return static_cast<int64_t>(r.value);
}
inline float AsFloat(const ArgRecord& r) {
  uint32_t bits = LowWord(r);
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
inline double AsDouble(const ArgRecord& r) {
  double v;
  std::memcpy(&v, &r.value, sizeof v);
  return v;
}
inline void* AsPointer(const ArgRecord& r) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(r.value));
}
inline const char* AsText(const ArgRecord& r) {
  return static_cast<const char*>(AsPointer(r));
}

// The argument at index, or an omitted record when fewer were passed.
inline ArgRecord ArgAt(int argCount, const ArgRecord* args, int index) {
  return (args != nullptr && index >= 0 && index < argCount) ? args[index] : MakeOmitted();
}
