// The runtime's message box on Windows.

#include "gui/message_commands_win.h"

#include <atomic>

#include "base/command_adapter.h"
#include "base/value_commands.h"
#include "base/wide_text_win.h"

namespace {

std::atomic<WindowRefResolver> windowRefResolver{nullptr};

int ButtonCodeOf(int pressed) {
  switch (pressed) {
    case IDOK:
      return kButtonOk;
    case IDCANCEL:
      return kButtonCancel;
    case IDABORT:
      return kButtonAbort;
    case IDRETRY:
      return kButtonRetry;
    case IDIGNORE:
      return kButtonIgnore;
    case IDYES:
      return kButtonYes;
    case IDNO:
      return kButtonNo;
    default:
      return kButtonOk;
  }
}

bool IsNumberOrDateTag(uint32_t tag) {
  switch (static_cast<TypeTag>(tag)) {
    case TypeTag::Byte:
    case TypeTag::Short:
    case TypeTag::Integer:
    case TypeTag::LongInteger:
    case TypeTag::Float:
    case TypeTag::Double:
    case TypeTag::Boolean:
    case TypeTag::DateTime:
      return true;
    default:
      return false;
  }
}

// The message argument as shown: numbers, booleans and date-times as ToText
// renders them, a text as it stands, anything else nothing.
std::string MessageTextOf(const ArgRecord& record) {
  if (HasTag(record, TypeTag::Text)) return std::string(TextOfRecord(record));
  if (IsNumberOrDateTag(record.tag)) return ToText(ValueOfRecord(record));
  return std::string();
}

HWND OwnerOf(const ArgRecord& record) {
  if (HasTag(record, TypeTag::ControlRef)) {
    const WindowRefResolver resolver = windowRefResolver.load();
    return resolver != nullptr ? resolver(LowWord(record), HighWord(record)) : nullptr;
  }
  if (HasTag(record, TypeTag::Integer)) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(LowWord(record)));
  }
  return nullptr;
}

}  // namespace

void SetWindowRefResolver(WindowRefResolver resolver) {
  windowRefResolver = resolver;
}

int ShowMessage(std::string_view message, int flags, std::optional<std::string_view> caption,
                HWND owner) {
  const std::wstring text = WideFromUtf8(message);
  const std::wstring title = WideFromUtf8(caption ? *caption : kDefaultMessageCaption);
  UINT style = static_cast<UINT>(flags);
  if ((style & MB_SYSTEMMODAL) == 0) style |= MB_TASKMODAL;
  const int pressed = MessageBoxW(owner, text.c_str(), title.c_str(), style);
  // A box with an OK button alone can only be acknowledged. Windows answers
  // IDOK however it is closed; Wine answers IDCANCEL when it is closed from
  // its window menu, which must not read as "cancelled".
  if ((style & MB_TYPEMASK) == MB_OK) return kButtonOk;
  return ButtonCodeOf(pressed);
}

// --- Uniform calling form ---------------------------------------------------

void CmdShowMessage(ArgRecord* result, int argCount, const ArgRecord* args) {
  const std::string message = MessageTextOf(ArgAt(argCount, args, 0));
  const int flags = IntegerOfRecord(ArgAt(argCount, args, 1));
  const ArgRecord captionRecord = ArgAt(argCount, args, 2);
  std::optional<std::string_view> caption;
  if (!IsOmitted(captionRecord)) caption = TextOfRecord(captionRecord);
  const HWND owner = argCount >= 4 ? OwnerOf(ArgAt(argCount, args, 3)) : nullptr;
  const int button = ShowMessage(message, flags, caption, owner);
  if (result != nullptr) *result = MakeInteger(button);
}
