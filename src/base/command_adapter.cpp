#include "base/command_adapter.h"

#include <cstring>
#include <limits>

#include "base/error_report.h"
#include "base/runtime_memory.h"
#include "base/text_commands.h"

namespace {

// Both block kinds start with two 32-bit words: (1, length) for a byte set,
// (dimension count, element count) for an array.
constexpr size_t kBlockHeaderSize = 8;

uint32_t ReadWord(const void* block, size_t offset) {
  uint32_t word;
  std::memcpy(&word, static_cast<const uint8_t*>(block) + offset, sizeof word);
  return word;
}

void WriteWord(void* block, size_t offset, uint32_t word) {
  std::memcpy(static_cast<uint8_t*>(block) + offset, &word, sizeof word);
}

void* AllocBlock(size_t count, size_t elementSize) {
  if (elementSize != 0 &&
      count > (std::numeric_limits<size_t>::max() - kBlockHeaderSize) / elementSize) {
    ReportFatal(AllocationFailureText(std::numeric_limits<size_t>::max()), 0);
  }
  return RuntimeAlloc(kBlockHeaderSize + count * elementSize);
}

template <class T>
ArrayOf<T> ReadPlainArray(const void* block) {
  ArrayOf<T> array;
  const uint32_t count = ArrayBlockCount(block);
  array.elements.resize(count);
  if (count != 0) std::memcpy(array.elements.data(), ArrayBlockData(block), count * sizeof(T));
  return array;
}

ArgRecord IntegerResult(int v) {
  return MakeInteger(v);
}

std::optional<int> OptionalInteger(const ArgRecord& r) {
  if (IsOmitted(r)) return std::nullopt;
  return IntegerOfRecord(r);
}

// The ignore-case argument counts as set only when it equals 1.
bool IgnoreCaseOf(const ArgRecord& r) {
  return !IsOmitted(r) && IntegerOfRecord(r) == 1;
}

void SetResult(ArgRecord* result, const ArgRecord& value) {
  if (result != nullptr) *result = value;
}

}  // namespace

// --- Reading arguments ------------------------------------------------------

RuntimeValue ValueOfRecord(const ArgRecord& r) {
  if (IsArrayTag(r.tag)) {
    const void* block = AsPointer(r);
    switch (ElementTagOf(r.tag)) {
      case TypeTag::Byte:
        return ReadPlainArray<uint8_t>(block);
      case TypeTag::Short:
        return ReadPlainArray<int16_t>(block);
      case TypeTag::Integer:
        return ReadPlainArray<int32_t>(block);
      case TypeTag::LongInteger:
        return ReadPlainArray<int64_t>(block);
      case TypeTag::Float:
        return ReadPlainArray<float>(block);
      case TypeTag::Double:
        return ReadPlainArray<double>(block);
      case TypeTag::DateTime: {
        ArrayOf<double> days = ReadPlainArray<double>(block);
        ArrayOf<DateTime> dates;
        for (double d : days.elements) dates.elements.push_back(DateTime{d});
        return dates;
      }
      case TypeTag::Text:
        return ArrayOf<std::string>{ReadTextArrayBlock(block)};
      default:
        return std::monostate{};
    }
  }
  switch (static_cast<TypeTag>(r.tag)) {
    case TypeTag::Byte:
      return static_cast<uint8_t>(r.value);
    case TypeTag::Short:
      return static_cast<int16_t>(static_cast<uint16_t>(r.value));
    case TypeTag::Integer:
      return AsInt32(r);
    case TypeTag::LongInteger:
      return AsInt64(r);
    case TypeTag::Float:
      return AsFloat(r);
    case TypeTag::Double:
      return AsDouble(r);
    case TypeTag::Boolean:
      return LowWord(r) != 0;
    case TypeTag::DateTime:
      return DateTime{AsDouble(r)};
    case TypeTag::Text:
      return std::string(TextOfRecord(r));
    case TypeTag::ByteSet:
      return ReadByteSetBlock(AsPointer(r));
    case TypeTag::Routine:
      return RoutineAddress{static_cast<uintptr_t>(r.value)};
    default:
      return std::monostate{};
  }
}

int IntegerOfRecord(const ArgRecord& r) {
  switch (static_cast<TypeTag>(r.tag)) {
    case TypeTag::ByteSet:  // nothing to gain from copying the bytes
      return 0;
    default:
      return IsArrayTag(r.tag) ? 0 : ToInteger(ValueOfRecord(r));
  }
}

std::string_view TextOfRecord(const ArgRecord& r) {
  if (!HasTag(r, TypeTag::Text)) return std::string_view();
  const char* text = AsText(r);
  return text != nullptr ? std::string_view(text) : std::string_view();
}

// --- Blocks -----------------------------------------------------------------

ArgRecord NewTextRecord(std::string_view text) {
  return MakeText(RuntimeTextCopy(text));
}

void* NewByteSetBlock(const void* data, size_t length) {
  if (length == 0) return nullptr;
  void* block = AllocBlock(length, 1);
  WriteWord(block, 0, 1);
  WriteWord(block, 4, static_cast<uint32_t>(length));
  std::memcpy(static_cast<uint8_t*>(block) + kBlockHeaderSize, data, length);
  return block;
}

ArgRecord NewByteSetRecord(const ByteSetBytes& bytes) {
  return MakeByteSet(NewByteSetBlock(bytes.data(), bytes.size()));
}

void* NewArrayBlock(uint32_t elementCount, size_t elementSize) {
  void* block = AllocBlock(elementCount, elementSize);
  WriteWord(block, 0, 1);
  WriteWord(block, 4, elementCount);
  std::memset(static_cast<uint8_t*>(block) + kBlockHeaderSize, 0,
              static_cast<size_t>(elementCount) * elementSize);
  return block;
}

void* NewTextArrayBlock(const std::vector<std::string>& texts) {
  void* block = NewArrayBlock(static_cast<uint32_t>(texts.size()), sizeof(char*));
  auto* slots = static_cast<uint8_t*>(ArrayBlockData(block));
  for (size_t i = 0; i < texts.size(); ++i) {
    char* copy = RuntimeTextCopy(texts[i]);
    std::memcpy(slots + i * sizeof(char*), &copy, sizeof copy);
  }
  return block;
}

ArgRecord NewTextArrayRecord(const std::vector<std::string>& texts) {
  return MakeArray(TypeTag::Text, NewTextArrayBlock(texts));
}

uint32_t ByteSetBlockLength(const void* block) {
  return block == nullptr ? 0 : ReadWord(block, 4);
}

const uint8_t* ByteSetBlockData(const void* block) {
  return block == nullptr ? nullptr : static_cast<const uint8_t*>(block) + kBlockHeaderSize;
}

ByteSetBytes ReadByteSetBlock(const void* block) {
  const uint32_t length = ByteSetBlockLength(block);
  const uint8_t* data = ByteSetBlockData(block);
  return length == 0 ? ByteSetBytes() : ByteSetBytes(data, data + length);
}

// Only one-dimensional arrays occur in this program, so the element count
// always follows the dimension count directly.
uint32_t ArrayBlockCount(const void* block) {
  return block == nullptr ? 0 : ReadWord(block, 4);
}

void* ArrayBlockData(void* block) {
  return block == nullptr ? nullptr : static_cast<uint8_t*>(block) + kBlockHeaderSize;
}

const void* ArrayBlockData(const void* block) {
  return block == nullptr ? nullptr : static_cast<const uint8_t*>(block) + kBlockHeaderSize;
}

std::vector<std::string> ReadTextArrayBlock(const void* block) {
  std::vector<std::string> texts;
  const uint32_t count = ArrayBlockCount(block);
  const auto* slots = static_cast<const uint8_t*>(ArrayBlockData(block));
  texts.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const char* text;
    std::memcpy(&text, slots + i * sizeof(char*), sizeof text);
    texts.emplace_back(text != nullptr ? text : "");
  }
  return texts;
}

void FreeTextArrayBlock(void* block) {
  if (block == nullptr) return;
  const uint32_t count = ArrayBlockCount(block);
  auto* slots = static_cast<uint8_t*>(ArrayBlockData(block));
  for (uint32_t i = 0; i < count; ++i) {
    char* text;
    std::memcpy(&text, slots + i * sizeof(char*), sizeof text);
    RuntimeFree(text);
  }
  RuntimeFree(block);
}

void FreeResultRecord(ArgRecord& result) {
  if (result.tag == ArrayTagOf(TypeTag::Text)) {
    FreeTextArrayBlock(AsPointer(result));
  } else if (IsArrayTag(result.tag) || HasTag(result, TypeTag::Text) ||
             HasTag(result, TypeTag::ByteSet)) {
    RuntimeFree(AsPointer(result));
  }
  result = MakeOmitted();
}

// --- Commands ---------------------------------------------------------------

void CmdTextLength(ArgRecord* result, int argCount, const ArgRecord* args) {
  const ArgRecord text = ArgAt(argCount, args, 0);
  SetResult(result, IntegerResult(HasTag(text, TypeTag::Text) ? TextLength(AsText(text)) : 0));
}

void CmdLeftText(ArgRecord* result, int argCount, const ArgRecord* args) {
  SetResult(result, NewTextRecord(LeftText(TextOfRecord(ArgAt(argCount, args, 0)),
                                           IntegerOfRecord(ArgAt(argCount, args, 1)))));
}

void CmdRightText(ArgRecord* result, int argCount, const ArgRecord* args) {
  SetResult(result, NewTextRecord(RightText(TextOfRecord(ArgAt(argCount, args, 0)),
                                            IntegerOfRecord(ArgAt(argCount, args, 1)))));
}

void CmdFindText(ArgRecord* result, int argCount, const ArgRecord* args) {
  SetResult(result, IntegerResult(FindText(TextOfRecord(ArgAt(argCount, args, 0)),
                                           TextOfRecord(ArgAt(argCount, args, 1)),
                                           OptionalInteger(ArgAt(argCount, args, 2)),
                                           IgnoreCaseOf(ArgAt(argCount, args, 3)))));
}

void CmdFindTextFromEnd(ArgRecord* result, int argCount, const ArgRecord* args) {
  SetResult(result, IntegerResult(FindTextFromEnd(TextOfRecord(ArgAt(argCount, args, 0)),
                                                  TextOfRecord(ArgAt(argCount, args, 1)),
                                                  OptionalInteger(ArgAt(argCount, args, 2)),
                                                  IgnoreCaseOf(ArgAt(argCount, args, 3)))));
}

void CmdSplitText(ArgRecord* result, int argCount, const ArgRecord* args) {
  const ArgRecord separator = ArgAt(argCount, args, 1);
  std::optional<std::string_view> sep;
  if (!IsOmitted(separator)) sep = TextOfRecord(separator);
  SetResult(result, NewTextArrayRecord(SplitText(TextOfRecord(ArgAt(argCount, args, 0)), sep,
                                                 OptionalInteger(ArgAt(argCount, args, 2)))));
}

void CmdToText(ArgRecord* result, int argCount, const ArgRecord* args) {
  SetResult(result, NewTextRecord(ToText(ValueOfRecord(ArgAt(argCount, args, 0)))));
}

void CmdToInteger(ArgRecord* result, int argCount, const ArgRecord* args) {
  SetResult(result, IntegerResult(IntegerOfRecord(ArgAt(argCount, args, 0))));
}

void CmdByteSetLength(ArgRecord* result, int argCount, const ArgRecord* args) {
  const ArgRecord bytes = ArgAt(argCount, args, 0);
  const uint32_t length =
      HasTag(bytes, TypeTag::ByteSet) ? ByteSetBlockLength(AsPointer(bytes)) : 0;
  SetResult(result, IntegerResult(static_cast<int>(length)));
}

void CmdZeroByteSet(ArgRecord* result, int argCount, const ArgRecord* args) {
  // Built in place: the block comes straight from the runtime allocator, so a
  // length too large to satisfy is the allocation failure report.
  const int length = IntegerOfRecord(ArgAt(argCount, args, 0));
  void* block = nullptr;
  if (length > 0) {
    block = AllocBlock(static_cast<size_t>(length), 1);
    WriteWord(block, 0, 1);
    WriteWord(block, 4, static_cast<uint32_t>(length));
    std::memset(static_cast<uint8_t*>(block) + kBlockHeaderSize, 0, static_cast<size_t>(length));
  }
  SetResult(result, MakeByteSet(block));
}

void CmdToByteSet(ArgRecord* result, int argCount, const ArgRecord* args) {
  SetResult(result, NewByteSetRecord(ToByteSet(ValueOfRecord(ArgAt(argCount, args, 0)))));
}

void CmdBitOr(ArgRecord* result, int argCount, const ArgRecord* args) {
  int bits = 0;
  for (int i = 0; i < argCount; ++i) bits |= IntegerOfRecord(args[i]);
  SetResult(result, IntegerResult(bits));
}

void CmdShiftLeft(ArgRecord* result, int argCount, const ArgRecord* args) {
  SetResult(result, IntegerResult(ShiftLeft(IntegerOfRecord(ArgAt(argCount, args, 0)),
                                            IntegerOfRecord(ArgAt(argCount, args, 1)))));
}
