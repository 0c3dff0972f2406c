#pragma once

// COM-object variables: an interface pointer and an auxiliary pointer that the
// variable holds on behalf of the program.

#include <unknwn.h>

#include "base/command_call.h"

struct ComObject {
  IUnknown* iface;  // null: the variable is empty
  void* aux;        // handed back to the interface (slot 18) when cleared
};

// Empties the variable without releasing, then, when *source is not null,
// stores it and adds a reference. A null source address counts as a null
// pointer.
void SetComObject(ComObject& object, IUnknown* const* source);

// With an interface: a non-null aux is passed to the interface's method in
// vtable slot 18, then the interface is released; both fields become null.
// Without one: a non-null aux is a runtime block and is freed.
void ClearComObject(ComObject& object);

bool IsComObjectEmpty(const ComObject& object);

// Uniform calling form: SetComObject(COM-object variable, address of an
// interface pointer), ClearComObject(variable), IsComObjectEmpty(variable)
// answering a boolean.
void CmdSetComObject(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdClearComObject(ArgRecord* result, int argCount, const ArgRecord* args);
void CmdIsComObjectEmpty(ArgRecord* result, int argCount, const ArgRecord* args);
