#pragma once

// The portable runtime commands in the uniform calling form, and helpers to
// build their argument records and read back the blocks they return.
//
// Results: integers, booleans in the low word; new texts, byte-set blocks and
// array blocks from RuntimeAlloc, owned by the caller (RuntimeFree; an array
// of texts with FreeTextArrayBlock). The empty byte set is null.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/command_call.h"
#include "base/value_commands.h"

// --- Commands ---------------------------------------------------------------

void CmdTextLength(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdLeftText(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdRightText(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdFindText(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdFindTextFromEnd(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdSplitText(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdToText(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdToInteger(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdByteSetLength(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdZeroByteSet(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdToByteSet(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdBitOr(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdShiftLeft(ArgRecord* result, int argCount, const ArgRecord* args);

// --- Reading arguments ------------------------------------------------------

// The record as a typed value (texts, byte sets and arrays copied); omitted,
// references and COM objects give std::monostate.
RuntimeValue ValueOfRecord(const ArgRecord& record);

// The record as an integer, as ToInteger does.
int IntegerOfRecord(const ArgRecord& record);

// The text a record points to; empty for null, omitted or a non-text tag.
std::string_view TextOfRecord(const ArgRecord& record);

// --- Building results and arguments -----------------------------------------

// New runtime text, byte-set block (null when empty) and array blocks.
ArgRecord NewTextRecord(std::string_view text);
void* NewByteSetBlock(const void* data, size_t length);
ArgRecord NewByteSetRecord(const ByteSetBytes& bytes);
void* NewArrayBlock(uint32_t elementCount, size_t elementSize);  // elements zeroed
void* NewTextArrayBlock(const std::vector<std::string>& texts);
ArgRecord NewTextArrayRecord(const std::vector<std::string>& texts);

// --- Reading blocks back ----------------------------------------------------

// Byte-set block: 32-bit 1, 32-bit length, bytes. Null is the empty set.
uint32_t ByteSetBlockLength(const void* block);
const uint8_t* ByteSetBlockData(const void* block);  // null when empty
ByteSetBytes ReadByteSetBlock(const void* block);

// Array block: 32-bit dimension count, 32-bit element count, elements.
uint32_t ArrayBlockCount(const void* block);  // 0 for null
void* ArrayBlockData(void* block);
const void* ArrayBlockData(const void* block);
std::vector<std::string> ReadTextArrayBlock(const void* block);  // null elements read as ""

// Frees an array block of texts together with its texts.
void FreeTextArrayBlock(void* block);

// Frees whatever a command left in its result record (text, byte set, array
// of texts or of plain values); numbers need nothing. Clears the record.
void FreeResultRecord(ArgRecord& result);
