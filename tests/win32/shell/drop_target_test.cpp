// The drop object's target, driven in process through its IDropTarget with
// data objects made here, and once by a real drag from another process.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/main_form_win.h"
#include "gui/drop_target_win.h"
#include "gui/form_window_win.h"
#include "gui/property_service_win.h"
#include "shell_test_support.h"
#include "test_data_object.h"
#include "unicode_file_names.h"

namespace {

constexpr DWORD kAllEffects = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
constexpr POINTL kAnywhere{100, 100};

struct Delivery {
  DropFormat format;
  std::string text;
};

// A target with its own accept flags, recording what it delivers.
struct RecordingTarget {
  explicit RecordingTarget(std::vector<DropFormat> acceptedFormats)
      : accepted(std::move(acceptedFormats)) {
    StartRuntimeHere();  // OLE, for the drag-image helper
    DropTargetLinks links;
    links.accepts = [this](DropFormat format) {
      for (DropFormat a : accepted) {
        if (a == format) return true;
      }
      return false;
    };
    links.deliver = [this](DropFormat format, const char* text) {
      deliveries.push_back(Delivery{format, text});
    };
    target = QDropTarget::Create(std::move(links));
  }

  std::vector<DropFormat> accepted;
  std::vector<Delivery> deliveries;
  ComPtr<QDropTarget> target;
};

// A data object owned by the test.
struct Data {
  Data() : object(new TestDataObject) {}
  ~Data() { object->Release(); }
  Data(const Data&) = delete;
  Data& operator=(const Data&) = delete;
  TestDataObject* object;
};

DWORD EnterEffect(IDropTarget* target, IDataObject* data, DWORD keys, DWORD allowed) {
  DWORD effect = allowed;
  EXPECT_EQ(S_OK, target->DragEnter(data, keys, kAnywhere, &effect));
  return effect;
}

HRESULT DropWith(IDropTarget* target, IDataObject* data, DWORD keys, DWORD allowed,
                 DWORD* effect = nullptr) {
  DWORD local = allowed;
  const HRESULT result = target->Drop(data, keys, kAnywhere, &local);
  if (effect != nullptr) *effect = local;
  return result;
}

// Enters and drops with the same keys, as a drag without key changes does.
HRESULT EnterAndDrop(IDropTarget* target, IDataObject* data, DWORD keys = 0,
                     DWORD allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE) {
  EnterEffect(target, data, keys, allowed);
  return DropWith(target, data, keys, allowed);
}

const std::vector<std::string> kThreePaths = {"C:\\pics\\a.bmp", "C:\\pics\\b.png",
                                              "D:\\other\\c.jpg"};

// --- Acceptance and effects -----------------------------------------------------

TEST(DropTargetAcceptance, OnlyFilesAreAcceptedWhenOnlyFilesAreSwitchedOn) {
  RecordingTarget files({DropFormat::kFiles});
  Data text, html, url, hdrop;
  text.object->Offer(CF_TEXT, std::string("hello", 6));
  html.object->Offer(HtmlClipboardFormat(), "<b>x</b>");
  url.object->Offer(UrlClipboardFormat(), std::string("http://example.com/", 20));
  hdrop.object->Offer(CF_HDROP, DropFilesBlock({"C:\\pics\\a.bmp"}));

  EXPECT_EQ(DWORD{DROPEFFECT_NONE}, EnterEffect(files.target.Get(), text.object, 0, kAllEffects));
  EXPECT_FALSE(files.target->DropAllowed());
  EXPECT_EQ(DWORD{DROPEFFECT_NONE}, EnterEffect(files.target.Get(), html.object, 0, kAllEffects));
  EXPECT_EQ(DWORD{DROPEFFECT_NONE}, EnterEffect(files.target.Get(), url.object, 0, kAllEffects));
  EXPECT_EQ(DWORD{DROPEFFECT_COPY}, EnterEffect(files.target.Get(), hdrop.object, 0, kAllEffects));
  EXPECT_TRUE(files.target->DropAllowed());

  // Dropping refused data delivers nothing.
  EXPECT_EQ(E_FAIL, EnterAndDrop(files.target.Get(), text.object));
  EXPECT_EQ(E_FAIL, EnterAndDrop(files.target.Get(), url.object));
  EXPECT_TRUE(files.deliveries.empty());
}

TEST(DropTargetAcceptance, NothingIsAcceptedWhileEveryFormatIsOff) {
  RecordingTarget none({});
  Data hdrop;
  hdrop.object->Offer(CF_HDROP, DropFilesBlock({"C:\\pics\\a.bmp"}));
  EXPECT_EQ(DWORD{DROPEFFECT_NONE}, EnterEffect(none.target.Get(), hdrop.object, 0, kAllEffects));
  EXPECT_EQ(E_FAIL, EnterAndDrop(none.target.Get(), hdrop.object));
  EXPECT_TRUE(none.deliveries.empty());
}

struct EffectCase {
  DWORD keys;
  DWORD allowed;
  DWORD expected;
};

TEST(DropTargetEffects, KeysAndAllowedEffectsChooseTheEffectInEnterOverAndDrop) {
  const EffectCase cases[] = {
      {0, kAllEffects, DROPEFFECT_COPY},
      {0, DROPEFFECT_MOVE | DROPEFFECT_LINK, DROPEFFECT_MOVE},
      {0, DROPEFFECT_LINK, DROPEFFECT_LINK},
      {0, DROPEFFECT_NONE, DROPEFFECT_NONE},
      {MK_CONTROL, kAllEffects, DROPEFFECT_COPY},
      {MK_CONTROL, DROPEFFECT_MOVE | DROPEFFECT_LINK, DROPEFFECT_NONE},
      {MK_SHIFT, kAllEffects, DROPEFFECT_MOVE},
      {MK_SHIFT, DROPEFFECT_COPY | DROPEFFECT_LINK, DROPEFFECT_NONE},
      {MK_CONTROL | MK_SHIFT, kAllEffects, DROPEFFECT_NONE},  // a link is refused
      {MK_CONTROL | MK_SHIFT, DROPEFFECT_LINK, DROPEFFECT_NONE},
      {MK_LBUTTON, kAllEffects, DROPEFFECT_COPY},  // mouse buttons change nothing
      {MK_LBUTTON | MK_SHIFT, kAllEffects, DROPEFFECT_MOVE},
  };
  RecordingTarget files({DropFormat::kFiles});
  Data hdrop;
  hdrop.object->Offer(CF_HDROP, DropFilesBlock({"C:\\pics\\a.bmp"}));
  IDropTarget* target = files.target.Get();
  for (const EffectCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "keys " << c.keys << " allowed " << c.allowed);
    EXPECT_EQ(c.expected, EnterEffect(target, hdrop.object, c.keys, c.allowed));

    DWORD overEffect = c.allowed;
    EXPECT_EQ(S_OK, target->DragOver(c.keys, kAnywhere, &overEffect));
    EXPECT_EQ(c.expected, overEffect);

    files.deliveries.clear();
    DWORD dropEffect = 0;
    EXPECT_EQ(E_FAIL, DropWith(target, hdrop.object, c.keys, c.allowed, &dropEffect));
    EXPECT_EQ(c.expected, dropEffect);
    // Files arrive exactly when an effect was chosen.
    EXPECT_EQ(c.expected != DROPEFFECT_NONE ? 1u : 0u, files.deliveries.size());
  }
}

TEST(DropTargetEffects, KeysChangedDuringTheDragCountAtTheDrop) {
  RecordingTarget files({DropFormat::kFiles});
  Data hdrop;
  hdrop.object->Offer(CF_HDROP, DropFilesBlock({"C:\\pics\\a.bmp"}));
  EXPECT_EQ(DWORD{DROPEFFECT_COPY}, EnterEffect(files.target.Get(), hdrop.object, 0, kAllEffects));
  DWORD overEffect = kAllEffects;
  files.target->DragOver(MK_CONTROL | MK_SHIFT, kAnywhere, &overEffect);
  EXPECT_EQ(DWORD{DROPEFFECT_NONE}, overEffect);
  EXPECT_EQ(E_FAIL, DropWith(files.target.Get(), hdrop.object, MK_CONTROL | MK_SHIFT, kAllEffects));
  EXPECT_TRUE(files.deliveries.empty());
}

TEST(DropTargetEffects, DragLeaveForgetsTheAcceptedData) {
  RecordingTarget files({DropFormat::kFiles});
  Data hdrop;
  hdrop.object->Offer(CF_HDROP, DropFilesBlock({"C:\\pics\\a.bmp"}));
  EnterEffect(files.target.Get(), hdrop.object, 0, kAllEffects);
  EXPECT_EQ(S_OK, files.target->DragLeave());
  EXPECT_FALSE(files.target->DropAllowed());
  DWORD overEffect = kAllEffects;
  files.target->DragOver(0, kAnywhere, &overEffect);
  EXPECT_EQ(DWORD{DROPEFFECT_NONE}, overEffect);
  EXPECT_EQ(E_FAIL, DropWith(files.target.Get(), hdrop.object, 0, kAllEffects));
  EXPECT_TRUE(files.deliveries.empty());
}

// --- Delivered texts ------------------------------------------------------------

TEST(DropTargetFiles, OneFileGivesItsPathAloneAndDropAnswersEFail) {
  RecordingTarget files({DropFormat::kFiles});
  Data hdrop;
  hdrop.object->Offer(CF_HDROP, DropFilesBlock({"C:\\pics\\cat.bmp"}));
  EXPECT_EQ(E_FAIL, EnterAndDrop(files.target.Get(), hdrop.object));
  ASSERT_EQ(1u, files.deliveries.size());
  EXPECT_EQ(DropFormat::kFiles, files.deliveries[0].format);
  EXPECT_EQ("C:\\pics\\cat.bmp", files.deliveries[0].text);
}

TEST(DropTargetFiles, SeveralFilesGiveEveryPathFollowedByCrLfInTheirOrder) {
  RecordingTarget files({DropFormat::kFiles});
  Data hdrop;
  hdrop.object->Offer(CF_HDROP, DropFilesBlock(kThreePaths));
  EXPECT_EQ(E_FAIL, EnterAndDrop(files.target.Get(), hdrop.object, MK_SHIFT));
  ASSERT_EQ(1u, files.deliveries.size());
  EXPECT_EQ("C:\\pics\\a.bmp\r\nC:\\pics\\b.png\r\nD:\\other\\c.jpg\r\n", files.deliveries[0].text);
}

TEST(DropTargetOtherFormats, UnicodeEventsGetAnAnsiOnlyTextAndUrlInTheirOwnCharacters) {
  // Text in the ANSI formats alone is in the code page of whoever wrote it,
  // which is this machine's: the events deliver its characters as UTF-8.
  std::string ansi;
  std::string utf8;
  if (GetACP() == 936) {
    ansi = "\xD6\xD0\xCE\xC4 caf\xA8\xA6";  // 中文 café in GBK
    utf8 = "中文 café";
  } else if (GetACP() == 1252) {
    ansi =
        "\xDCn\xEF"
        "c\xF8"
        "d\xE9";  // Ünïcødé (split: c and d are hex digits)
    utf8 = "Ünïcødé";
  } else {
    GTEST_SKIP() << "a text for code page " << GetACP() << " is not in this test";
  }
  RecordingTarget all({DropFormat::kText, DropFormat::kUrl});
  Data text;
  text.object->Offer(CF_TEXT, ansi + std::string(1, '\0'));
  EnterAndDrop(all.target.Get(), text.object);
  Data url;
  url.object->Offer(UrlClipboardFormat(), "http://example.com/" + ansi + std::string(1, '\0'));
  EnterAndDrop(all.target.Get(), url.object);
  ASSERT_EQ(2u, all.deliveries.size());
  EXPECT_EQ(utf8, all.deliveries[0].text);
  EXPECT_EQ("http://example.com/" + utf8, all.deliveries[1].text);
}

TEST(DropTargetFiles, DoubleBytePathsOfAnAnsiBlockArriveAsTheirUtf8) {
  // An ANSI block is read in the ANSI code page, so these GBK paths mean
  // their characters only under it. A trail byte of 0x5C looks like a
  // backslash and must not cut or change the path.
  if (GetACP() != 936) GTEST_SKIP() << "GBK paths need the code page 936";
  struct Case {
    const char* gbk;
    const char* utf8;
  };
  const Case cases[] = {
      {"C:\\\xCD\xBC\xC6\xAC\\\xBA\xEC\xC9\xAB.png", "C:\\图片\\红色.png"},  // CD BC: no 5C
      {"C:\\\x81\x5C\\\x92\x5C.png", "C:\\乗\\抃.png"},                      // 81 5C, 92 5C
      {"D:\\pics\\\x81\x5C", "D:\\pics\\乗"},  // ends in the trail byte
  };
  for (const Case& c : cases) {
    RecordingTarget files({DropFormat::kFiles});
    Data hdrop;
    hdrop.object->Offer(CF_HDROP, DropFilesBlock({c.gbk}));
    EnterAndDrop(files.target.Get(), hdrop.object);
    ASSERT_EQ(1u, files.deliveries.size()) << c.utf8;
    EXPECT_EQ(std::string(c.utf8), files.deliveries[0].text);
  }
}

// Names of every script, in UTF-16 as the shell hands them and in UTF-8 as
// the event must deliver them.
const auto& kUnicodeNames = kUnicodeFileNames;

TEST(DropTargetFiles, UnicodeNamesOfAWideBlockArriveAsTheirExactUtf8) {
  std::vector<std::wstring> widePaths;
  std::string expectedList;
  for (const UnicodeFileName& name : kUnicodeNames) {
    const std::wstring widePath =
        std::wstring(L"C:\\pics\\") + name.wide + L"\\" + name.wide + L".png";
    const std::string path = std::string("C:\\pics\\") + name.utf8 + "\\" + name.utf8 + ".png";
    RecordingTarget files({DropFormat::kFiles});
    Data hdrop;
    hdrop.object->Offer(CF_HDROP, WideDropFilesBlock({widePath}));
    EnterAndDrop(files.target.Get(), hdrop.object);
    ASSERT_EQ(1u, files.deliveries.size()) << name.utf8;
    EXPECT_EQ(path, files.deliveries[0].text);
    widePaths.push_back(widePath);
    expectedList += path + "\r\n";
  }
  // All of them in one drop: each in its place, followed by CR LF.
  RecordingTarget files({DropFormat::kFiles});
  Data hdrop;
  hdrop.object->Offer(CF_HDROP, WideDropFilesBlock(widePaths));
  EnterAndDrop(files.target.Get(), hdrop.object);
  ASSERT_EQ(1u, files.deliveries.size());
  EXPECT_EQ(expectedList, files.deliveries[0].text);
}

TEST(DropTargetOtherFormats, UnicodeTextUrlAndHtmlArriveAsTheirExactUtf8) {
  for (const UnicodeFileName& name : kUnicodeNames) {
    const std::wstring wide = name.wide;
    const std::string wideBytes(reinterpret_cast<const char*>(wide.c_str()),
                                (wide.size() + 1) * sizeof(wchar_t));
    RecordingTarget all({DropFormat::kText, DropFormat::kHtml, DropFormat::kUrl});

    // UTF-16 text wins over the ANSI text that comes with it.
    Data text;
    text.object->Offer(CF_UNICODETEXT, wideBytes);
    text.object->Offer(CF_TEXT, std::string("?", 2));
    EXPECT_EQ(DWORD{DROPEFFECT_COPY}, EnterEffect(all.target.Get(), text.object, 0, kAllEffects));
    EXPECT_EQ(E_FAIL, DropWith(all.target.Get(), text.object, 0, kAllEffects));

    Data url;
    url.object->Offer(static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"UniformResourceLocatorW")),
                      wideBytes);
    EXPECT_EQ(DWORD{DROPEFFECT_COPY}, EnterEffect(all.target.Get(), url.object, 0, kAllEffects));
    EXPECT_EQ(E_FAIL, DropWith(all.target.Get(), url.object, 0, kAllEffects));

    Data html;
    html.object->Offer(HtmlClipboardFormat(), name.utf8);
    EXPECT_EQ(E_FAIL, EnterAndDrop(all.target.Get(), html.object));

    ASSERT_EQ(3u, all.deliveries.size()) << name.utf8;
    EXPECT_EQ(DropFormat::kText, all.deliveries[0].format);
    EXPECT_EQ(name.utf8, all.deliveries[0].text);
    EXPECT_EQ(DropFormat::kUrl, all.deliveries[1].format);
    EXPECT_EQ(name.utf8, all.deliveries[1].text);
    EXPECT_EQ(DropFormat::kHtml, all.deliveries[2].format);
    EXPECT_EQ(name.utf8, all.deliveries[2].text);
  }
}

TEST(DropTargetFiles, DataThatIsAnnouncedButNotHandedOutDeliversNothing) {
  RecordingTarget files({DropFormat::kFiles});
  Data hdrop;
  hdrop.object->Offer(CF_HDROP, DropFilesBlock({"C:\\pics\\a.bmp"}));
  hdrop.object->RefuseData();
  EXPECT_EQ(DWORD{DROPEFFECT_COPY}, EnterEffect(files.target.Get(), hdrop.object, 0, kAllEffects));
  EXPECT_EQ(E_FAIL, DropWith(files.target.Get(), hdrop.object, 0, kAllEffects));
  EXPECT_TRUE(files.deliveries.empty());
}

TEST(DropTargetOtherFormats, TextUrlAndHtmlRaiseTheirOwnEventsWhenSwitchedOn) {
  RecordingTarget all({DropFormat::kText, DropFormat::kHtml, DropFormat::kUrl, DropFormat::kFiles});

  Data text;
  text.object->Offer(CF_TEXT, std::string("plain words", 12));
  EXPECT_EQ(DWORD{DROPEFFECT_COPY}, EnterEffect(all.target.Get(), text.object, 0, kAllEffects));
  EXPECT_EQ(E_FAIL, DropWith(all.target.Get(), text.object, 0, kAllEffects));

  Data url;
  url.object->Offer(UrlClipboardFormat(), std::string("http://example.com/a", 21));
  EXPECT_EQ(E_FAIL, EnterAndDrop(all.target.Get(), url.object));

  ASSERT_EQ(2u, all.deliveries.size());
  EXPECT_EQ(DropFormat::kText, all.deliveries[0].format);
  EXPECT_EQ("plain words", all.deliveries[0].text);
  EXPECT_EQ(DropFormat::kUrl, all.deliveries[1].format);
  EXPECT_EQ("http://example.com/a", all.deliveries[1].text);
}

TEST(DropTargetOtherFormats, HtmlStaysUtf8WithNoBreakSpacesMadePlainAndTakesPrecedenceOverText) {
  RecordingTarget all({DropFormat::kText, DropFormat::kHtml});
  Data html;
  // UTF-8: "a", U+00A0, "b ", 中.
  html.object->Offer(HtmlClipboardFormat(),
                     "a\xC2\xA0"
                     "b \xE4\xB8\xAD");
  html.object->Offer(CF_TEXT, std::string("a b", 4));
  EXPECT_EQ(E_FAIL, EnterAndDrop(all.target.Get(), html.object));
  ASSERT_EQ(1u, all.deliveries.size());
  EXPECT_EQ(DropFormat::kHtml, all.deliveries[0].format);
  EXPECT_EQ("a b 中", all.deliveries[0].text);
}

TEST(DropTargetOtherFormats, TextWithoutTerminatorIsReadOnlyToTheEndOfItsBlock) {
  RecordingTarget textOnly({DropFormat::kText});
  Data text;
  text.object->Offer(CF_TEXT, "hello");  // five bytes, no terminating zero
  EXPECT_EQ(E_FAIL, EnterAndDrop(textOnly.target.Get(), text.object));
  ASSERT_EQ(1u, textOnly.deliveries.size());
  EXPECT_EQ("hello", textOnly.deliveries[0].text);
}

// --- COM object and registration ------------------------------------------------

ULONG ReferenceCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST(DropTargetObject, AnswersOnlyIUnknownAndIDropTarget) {
  RecordingTarget files({DropFormat::kFiles});
  void* answer = nullptr;
  ASSERT_EQ(S_OK, files.target->QueryInterface(IID_IDropTarget, &answer));
  EXPECT_EQ(static_cast<IDropTarget*>(files.target.Get()), answer);
  EXPECT_EQ(2u, ReferenceCount(files.target.Get()));
  files.target->Release();
  ASSERT_EQ(S_OK, files.target->QueryInterface(IID_IUnknown, &answer));
  files.target->Release();
  EXPECT_EQ(E_NOINTERFACE, files.target->QueryInterface(IID_IDataObject, &answer));
  EXPECT_EQ(nullptr, answer);
  EXPECT_EQ(1u, ReferenceCount(files.target.Get()));
}

struct PlainWindow {
  PlainWindow() {
    window.Reset(CreateWindowExA(0, "STATIC", "drop here", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr));
  }
  UniqueWindow window;
};

TEST(DropTargetRegistration, ASecondRegistrationIsRefusedAndDestroyingTheWindowRevokesTheFirst) {
  StartRuntimeHere();
  PlainWindow first, second;
  ASSERT_TRUE(first.window && second.window);
  DropTargetLinks links;
  links.accepts = [](DropFormat) { return true; };
  links.deliver = [](DropFormat, const char*) {};
  DropObject object(links);
  const ULONG before = ReferenceCount(object.Target());

  EXPECT_TRUE(object.RegisterFileDrop(first.window.Get()));
  EXPECT_TRUE(object.IsRegistered());
  EXPECT_EQ(first.window.Get(), object.Target()->RegisteredWindow());
  EXPECT_GT(ReferenceCount(object.Target()), before) << "OLE holds the registered target";
  EXPECT_FALSE(object.RegisterFileDrop(second.window.Get()));
  EXPECT_FALSE(object.RegisterFileDrop(first.window.Get()));
  EXPECT_EQ(first.window.Get(), object.Target()->RegisteredWindow());
  // The window is OLE's drop window: another target cannot take it.
  RecordingTarget other({DropFormat::kFiles});
  EXPECT_EQ(DRAGDROP_E_ALREADYREGISTERED, RegisterDragDrop(first.window.Get(), other.target.Get()));

  first.window.Reset();  // destroys it, and the drop object's child with it
  EXPECT_FALSE(object.IsRegistered());
  EXPECT_EQ(before, ReferenceCount(object.Target())) << "the registration was revoked";
}

TEST(DropTargetRegistration, AFailedFirstRegistrationStillRefusesEveryLaterOne) {
  StartRuntimeHere();
  PlainWindow taken, spare;
  RecordingTarget owner({DropFormat::kFiles});
  ASSERT_EQ(S_OK, RegisterDragDrop(taken.window.Get(), owner.target.Get()));

  RecordingTarget late({DropFormat::kFiles});
  EXPECT_FALSE(late.target->Register(taken.window.Get()));
  EXPECT_FALSE(late.target->Register(spare.window.Get()));
  EXPECT_EQ(taken.window.Get(), late.target->RegisteredWindow());
  EXPECT_EQ(S_OK, RevokeDragDrop(taken.window.Get()));
}

// --- The form's drop object -----------------------------------------------------

TEST(FormDropObject, FilesDroppedOnTheMainWindowRaiseEventThreeOnceAcceptFilesIsSet) {
  const HWND window = LoadMainWindow();
  ASSERT_NE(nullptr, window);
  ClearDroppedTexts();
  EXPECT_TRUE(RegisterFileDrop(kDropObject, window));
  EXPECT_FALSE(RegisterFileDrop(kDropObject, window)) << "a second registration is refused";

  QDropTarget* target = DropTargetOf(kDropObject);
  ASSERT_NE(nullptr, target);
  EXPECT_EQ(window, target->RegisteredWindow());
  Data hdrop;
  hdrop.object->Offer(CF_HDROP, DropFilesBlock(kThreePaths));

  // Off until the controller switches it on.
  EXPECT_EQ(DWORD{DROPEFFECT_NONE}, EnterEffect(target, hdrop.object, 0, kAllEffects));
  EXPECT_EQ(E_FAIL, DropWith(target, hdrop.object, 0, kAllEffects));
  EXPECT_TRUE(DroppedTexts().empty());

  PropertyService::WriteInteger(kDropObject, kPropDropAcceptFiles, 1);
  EXPECT_EQ(DWORD{DROPEFFECT_COPY}, EnterEffect(target, hdrop.object, 0, kAllEffects));
  EXPECT_EQ(E_FAIL, DropWith(target, hdrop.object, 0, kAllEffects));
  ASSERT_EQ(1u, DroppedTexts().size());
  EXPECT_EQ("C:\\pics\\a.bmp\r\nC:\\pics\\b.png\r\nD:\\other\\c.jpg\r\n", DroppedTexts()[0]);

  // Plain text is not accepted by this form's drop object.
  Data text;
  text.object->Offer(CF_TEXT, std::string("words", 6));
  EXPECT_EQ(DWORD{DROPEFFECT_NONE}, EnterEffect(target, text.object, 0, kAllEffects));
}

TEST(FormDropObject, ARealDragOfAUnicodeNameFromAnotherProcessOntoAChildControlReachesTheTarget) {
  const HWND window = LoadMainWindow();
  ASSERT_NE(nullptr, window);
  RegisterFileDrop(kDropObject, window);  // refused if an earlier test registered it
  ASSERT_EQ(window, DropTargetOf(kDropObject)->RegisteredWindow());
  PropertyService::WriteInteger(kDropObject, kPropDropAcceptFiles, 1);
  ClearDroppedTexts();

  TempFolder folder;
  const HWND button = GetWindowHandle(kBatchButton);
  ASSERT_NE(nullptr, button);
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  PumpMessagesFor(200);
  RECT bounds;
  GetWindowRect(button, &bounds);
  const POINT centre{(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2};
  ASSERT_EQ(button, WindowFromPoint(centre)) << "the button must be what lies under the drop";

  // The file need not exist to be dragged. The source reads the name from a
  // UTF-8 list, as the ANSI command line could not carry it.
  const std::string path = "C:\\pics\\红色 사진 😀 café.png";
  const std::string pathList = folder.Path() + "\\drag_paths.txt";
  WriteTextFile(pathList, path + "\n");
  const std::string resultFile = folder.Path() + "\\drag_result.txt";
  const std::string commandLine = "\"" + TestProgramFolder() + "\\shell_drag_source.exe\" \"" +
                                  resultFile + "\" " + std::to_string(centre.x) + " " +
                                  std::to_string(centre.y) + " \"" + pathList + "\"";
  ChildProcess source(commandLine);
  ASSERT_TRUE(source.Started());

  // The source's drag loop calls this thread's target; keep dispatching.
  const bool delivered = PumpMessagesUntil([] { return !DroppedTexts().empty(); }, kWaitMs);
  DWORD exitCode = 0;
  const bool ended = PumpMessagesUntil([&] { return source.WaitForExit(&exitCode, 0); }, kWaitMs);

  // What the source was told (Drop answers E_FAIL, whatever it delivered).
  char sourceResult[128] = {};
  if (FILE* file = std::fopen(resultFile.c_str(), "r")) {
    std::fgets(sourceResult, sizeof sourceResult, file);
    std::fclose(file);
    sourceResult[std::strcspn(sourceResult, "\r\n")] = '\0';
  }
  std::printf("drag source: %s (drag-image helper: %s)\n", sourceResult,
              DropTargetOf(kDropObject)->HasDragImageHelper() ? "present" : "absent");
  RecordProperty("drag_source_result", sourceResult);

  ASSERT_TRUE(delivered) << "no files-dropped event within the time limit";
  ASSERT_EQ(1u, DroppedTexts().size());
  EXPECT_EQ(path, DroppedTexts()[0]);
  EXPECT_TRUE(ended);
  // The target answers E_FAIL even after delivering, so the source must not
  // have been told of a completed drop (it would delete moved files).
  EXPECT_EQ(1u, exitCode) << "the drag source's DoDragDrop answer: " << sourceResult;
}

}  // namespace
