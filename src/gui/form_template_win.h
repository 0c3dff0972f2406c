#pragma once

// The window forms: fixed descriptions of a window, its controls and their
// initial states, from which LoadFormWindow builds the native windows, and
// the bindings of handlers to their events. The runtime knows no particular
// form: the application describes its windows and hands them in.

#include <cstdint>
#include <string>
#include <vector>

#include "gui/form_ids_win.h"

// Unit types: high 16 bits the library that implements the unit (1 the
// built-in controls, 6 the drop object), low 16 bits the type within it.
constexpr uint32_t kUnitTypeWindow = 0x00010001;
constexpr uint32_t kUnitTypeLabel = 0x0001000A;
constexpr uint32_t kUnitTypeButton = 0x0001000B;
constexpr uint32_t kUnitTypeCheckbox = 0x0001000C;
constexpr uint32_t kUnitTypeComboBox = 0x0001000E;
constexpr uint32_t kUnitTypeProgressBar = 0x00010013;
constexpr uint32_t kUnitTypeCommonDialog = 0x0001001F;
constexpr uint32_t kUnitTypeDropObject = 0x00060001;

// Stored unit flags.
constexpr uint32_t kUnitVisible = 1u << 0;
constexpr uint32_t kUnitDisabled = 1u << 1;
constexpr uint32_t kUnitTakesFocus = 1u << 2;

// A handler bound to one event of one unit: raising eventIndex of source
// calls it. A handler of an event with a text argument (files dropped) is
// withText, any other withoutArgument; with neither the event has no effect.
struct EventBinding {
  ControlRef source;
  int eventIndex = 0;
  void (*withoutArgument)() = nullptr;
  void (*withText)(const char* text) = nullptr;
};

// The bindings the application hands to the loader; one table may serve
// several windows, each loaded window takes the bindings of its own id.
using EventBindings = std::vector<EventBinding>;

// Native window class of the runtime's labels and of the common dialog's
// hidden host window; the forms' own top-level windows use kFormWindowClass.
// Registered wide, so their windows keep every character of their texts.
constexpr wchar_t kLabelClass[] = L"_QX_Label";
constexpr wchar_t kCommonDialogClass[] = L"_QX_CommonDlg";
constexpr wchar_t kFormWindowClass[] = L"_QX_Form";

// Everything a unit may store; each unit type reads the fields that are its
// own and leaves the others at their defaults.
struct UnitSettings {
  std::string caption;  // window title; label, button and checkbox text
  uint32_t backgroundColour = kDefaultColour;

  // Window.
  int borderStyle = 2;  // 0..6; 2 is a fixed frame with caption
  bool controlBox = true;
  bool maximiseButton = false;
  bool minimiseButton = true;
  int startPosition = 1;  // 1: centred on the screen
  bool movable = true;
  bool shownInTaskBar = true;
  bool alwaysOnTop = false;
  int iconResourceId = 0;  // in the executable's resources; 0: no icon

  // Checkbox.
  bool checked = false;

  // Combo box.
  std::vector<std::string> items;
  int selectedIndex = -1;

  // Progress bar.
  int progressMinimum = 0;
  int progressMaximum = 100;
  int progressPosition = 0;
  int progressBorderStyle = 3;  // a thin sunken edge

  // Common dialog.
  int dialogType = 0;  // 0 open file, 1 save file
  std::string dialogTitle;
  std::string dialogFileName;
  std::string dialogFilter;
  int dialogFilterIndex = 0;
  std::string dialogInitialFolder;
  std::string dialogDefaultExtension;
  bool dialogCreatePrompt = false;
  bool dialogFileMustExist = true;
  bool dialogOverwritePrompt = true;
  bool dialogPathMustExist = true;
  bool dialogKeepCurrentDirectory = false;

  // Drop object.
  bool acceptFiles = false;
};

struct UnitTemplate {
  uint32_t controlId = 0;
  uint32_t unitType = 0;
  std::string name;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  uint32_t flags = 0;
  std::string tag;
  UnitSettings settings;
};

// One window: units[0] is the window itself (control id kWindowControlId),
// then the controls in creation order.
struct FormTemplate {
  uint32_t windowId = 0;
  std::vector<UnitTemplate> units;
};

// The forms an application can start with, searched by LoadStartWindow.
using FormList = std::vector<const FormTemplate*>;

// True when form can be loaded with bindings: a window first, known unit
// types, unique control ids, and every binding for this window names one of
// its units.
bool IsFormTemplateUsable(const FormTemplate& form, const EventBindings& bindings);
