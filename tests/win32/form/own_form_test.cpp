// The loader with forms of the tests' own, which know nothing of the
// program: it binds exactly the handlers its binding table gives for the
// loaded window, and refuses a form or table it cannot use.

#include <gtest/gtest.h>
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "form_test_support.h"
#include "gui/event_dispatch_win.h"
#include "gui/form_template_win.h"
#include "gui/form_window_win.h"

namespace {

// Two small windows; the second reuses a control id of the first, so a
// binding can only reach the right control through its window id.
constexpr uint32_t kFirstWindowId = 0x52017001;
constexpr uint32_t kSecondWindowId = 0x52017002;
constexpr uint32_t kOkButtonId = 0x16017001;
constexpr uint32_t kNoteLabelId = 0x16017002;
constexpr uint32_t kAcceptBoxId = 0x16017003;

UnitTemplate OwnUnit(uint32_t controlId, uint32_t unitType, const char* caption, int top) {
  UnitTemplate unit;
  unit.controlId = controlId;
  unit.unitType = unitType;
  unit.left = 4;
  unit.top = top;
  unit.width = 60;
  unit.height = 20;
  unit.flags = kUnitVisible;
  unit.settings.caption = caption;
  return unit;
}

FormTemplate OwnForm(uint32_t windowId, bool withLabel) {
  FormTemplate form;
  form.windowId = windowId;
  UnitTemplate window = OwnUnit(kWindowControlId, kUnitTypeWindow, "own form", 10);
  window.flags = 0;  // stays hidden
  window.width = 160;
  window.height = 120;
  window.settings.startPosition = 0;
  form.units.push_back(window);
  form.units.push_back(OwnUnit(kOkButtonId, kUnitTypeButton, "ok", 4));
  if (withLabel) form.units.push_back(OwnUnit(kNoteLabelId, kUnitTypeLabel, "note", 30));
  form.units.push_back(OwnUnit(kAcceptBoxId, kUnitTypeCheckbox, "accept", 56));
  return form;
}

struct OwnCall {
  std::string handler;
  ControlRef source{0, 0};
  std::string text;
};

std::mutex callsLock;
std::vector<OwnCall> ownCalls;

void Record(const std::string& handler, const char* text = "") {
  std::lock_guard<std::mutex> guard(callsLock);
  ownCalls.push_back({handler, CurrentEventSource(), text});
}

std::vector<OwnCall> TakeCalls() {
  std::lock_guard<std::mutex> guard(callsLock);
  std::vector<OwnCall> taken;
  taken.swap(ownCalls);
  return taken;
}

// One table for both windows, as an application with several windows hands
// it to every load.
EventBindings OwnBindings() {
  return {
      {{kFirstWindowId, kOkButtonId}, kEventClicked, [] { Record("first ok"); }, nullptr},
      {{kFirstWindowId, kNoteLabelId}, kEventClicked, [] { Record("first note"); }, nullptr},
      {{kFirstWindowId, kAcceptBoxId},
       5,
       nullptr,
       [](const char* text) { Record("first 5", text); }},
      {{kSecondWindowId, kOkButtonId}, kEventClicked, [] { Record("second ok"); }, nullptr},
      {{kSecondWindowId, kWindowControlId},
       kEventWindowCreated,
       [] { Record("second created"); },
       nullptr},
  };
}

const FormTemplate& FirstForm() {
  static const FormTemplate* const form = new FormTemplate(OwnForm(kFirstWindowId, true));
  return *form;
}

const FormTemplate& SecondForm() {
  static const FormTemplate* const form = new FormTemplate(OwnForm(kSecondWindowId, false));
  return *form;
}

void SendCommand(HWND window, uint32_t controlId, WORD code) {
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(controlId & 0xFFFF, code),
               reinterpret_cast<LPARAM>(ChildWithId(window, controlId)));
}

class OwnForms : public testing::Test {
 protected:
  void SetUp() override {
    TakeCalls();
    // The table is a temporary: the loader keeps its own copy.
    RunOnGui([] {
      const FormList forms = {&FirstForm(), &SecondForm()};
      LoadStartWindow(forms, kFirstWindowId, OwnBindings());
      LoadStartWindow(forms, kSecondWindowId, OwnBindings());
    });
    first_ = GetWindowHandle(ControlRef{kFirstWindowId, kWindowControlId});
    second_ = GetWindowHandle(ControlRef{kSecondWindowId, kWindowControlId});
    ASSERT_NE(first_, nullptr);
    ASSERT_NE(second_, nullptr);
    loadCalls_ = TakeCalls();
  }
  void TearDown() override {
    RunOnGui([this] {
      DestroyWindow(first_);
      DestroyWindow(second_);
    });
  }
  HWND first_ = nullptr;
  HWND second_ = nullptr;
  std::vector<OwnCall> loadCalls_;  // the handlers the two loads called
};

}  // namespace

TEST_F(OwnForms, EachWindowTakesTheBindingsOfItsOwnId) {
  const std::vector<OwnCall>& created = loadCalls_;
  ASSERT_EQ(created.size(), 1u) << "only the second window binds its created event";
  EXPECT_EQ(created[0].handler, "second created");
  EXPECT_EQ(created[0].source, (ControlRef{kSecondWindowId, kWindowControlId}));

  SendCommand(first_, kOkButtonId, BN_CLICKED);
  SendCommand(second_, kOkButtonId, BN_CLICKED);
  SendCommand(first_, kNoteLabelId, STN_CLICKED);
  const std::vector<OwnCall> calls = TakeCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].handler, "first ok");
  EXPECT_EQ(calls[0].source, (ControlRef{kFirstWindowId, kOkButtonId}));
  EXPECT_EQ(calls[1].handler, "second ok");
  EXPECT_EQ(calls[1].source, (ControlRef{kSecondWindowId, kOkButtonId}));
  EXPECT_EQ(calls[2].handler, "first note");
}

TEST_F(OwnForms, UnboundEventsDoNothingAndTextHandlersGetTheirArgument) {
  SendCommand(second_, kAcceptBoxId, BN_CLICKED);  // bound only in the first window
  SendCommand(first_, kAcceptBoxId, BN_CLICKED);   // its binding is for event 5
  RaiseEvent(ControlRef{kFirstWindowId, kOkButtonId}, 1);
  RaiseEvent(ControlRef{kFirstWindowId, kWindowControlId}, kEventWindowCreated);
  EXPECT_TRUE(TakeCalls().empty());

  RaiseEvent(ControlRef{kFirstWindowId, kAcceptBoxId}, 5, "C:\\a.png");
  RaiseEvent(ControlRef{kFirstWindowId, kAcceptBoxId}, 5);
  const std::vector<OwnCall> calls = TakeCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].text, "C:\\a.png");
  EXPECT_EQ(calls[1].text, "") << "a missing text argument arrives empty";
}

// --- Forms and tables the loader refuses ------------------------------------

struct UsableCase {
  const char* what;
  void (*change)(FormTemplate& form, EventBindings& bindings);
  bool usable;
};

const UsableCase kUsableCases[] = {
    {"the form as made", [](FormTemplate&, EventBindings&) {}, true},
    {"no bindings at all", [](FormTemplate&, EventBindings& b) { b.clear(); }, true},
    {"a binding of another window names a control this one lacks",
     [](FormTemplate&, EventBindings& b) {
       b.push_back({{0x52017999, 0x16019999}, 0});
     },
     true},
    {"a binding names a control the window lacks",
     [](FormTemplate&, EventBindings& b) {
       b.push_back({{kFirstWindowId, 0x16019999}, 0});
     },
     false},
    {"no units",
     [](FormTemplate& f, EventBindings& b) {
       f.units.clear();
       b.clear();
     },
     false},
    {"the window is not the first unit",
     [](FormTemplate& f, EventBindings&) { std::swap(f.units[0], f.units[1]); }, false},
    {"the window unit has a control id",
     [](FormTemplate& f, EventBindings&) { f.units[0].controlId = 0x16017009; }, false},
    {"two units share an id",
     [](FormTemplate& f, EventBindings&) { f.units[2].controlId = kOkButtonId; }, false},
    {"a second window unit",
     [](FormTemplate& f, EventBindings&) { f.units[1].unitType = kUnitTypeWindow; }, false},
    {"an unknown unit type",
     [](FormTemplate& f, EventBindings&) { f.units[1].unitType = 0x00990001; }, false},
};

TEST(OwnFormChecks, LoaderAcceptsOnlyUsableFormsAndBindings) {
  for (const UsableCase& usableCase : kUsableCases) {
    FormTemplate form = OwnForm(kFirstWindowId, true);
    EventBindings bindings = OwnBindings();
    usableCase.change(form, bindings);
    EXPECT_EQ(IsFormTemplateUsable(form, bindings), usableCase.usable) << usableCase.what;
  }
}
