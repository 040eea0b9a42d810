// Message boxes, message dialogs and input boxes, shown over Qt's dialogs.
//
// Tests answer them through SetDialogAnswererForTesting: with an answerer set nothing is
// shown and no test ever waits on a dialog. GUI thread only.
#pragma once

#include <functional>
#include <vector>

#include "classlib/Controls.h"
#include "classlib/System.h"
#include "win32/Types.h"

// Message box flags and answers, as the platform numbers them.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_DEFBUTTON1 = 0x00000000;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_APPLMODAL = 0x00000000;
constexpr UINT MB_SYSTEMMODAL = 0x00001000;
constexpr UINT MB_TASKMODAL = 0x00002000;
constexpr UINT MB_SETFOREGROUND = 0x00010000;
constexpr UINT MB_TOPMOST = 0x00040000;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// A modal message box; answers the button chosen (IDOK, IDYES, ...). Closing the box
// without a choice answers IDCANCEL, or IDOK for a box with only OK, or IDNO for Yes/No.
int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
inline int MessageBox(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  return MessageBoxA(hWnd, lpText, lpCaption, uType);
}

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp
};
using TMsgDlgButtons = TSet<TMsgDlgBtn>;
const TMsgDlgButtons mbYesNoCancel{mbYes, mbNo, mbCancel};
const TMsgDlgButtons mbOKCancel{mbOK, mbCancel};
const TMsgDlgButtons mbAbortRetryIgnore{mbAbort, mbRetry, mbIgnore};

// A dialog with the message, an icon for its type and the buttons; answers mrYes, mrOk...
// (mrCancel when closed without a choice).
Integer MessageDlg(const String& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, Integer HelpCtx);
// The message with an OK button; the application's title is the caption.
void ShowMessage(const String& Msg);
// Asks for a line of text; true with the text in Value when OK was chosen, else false
// with Value unchanged.
bool InputQuery(const String& ACaption, const String& APrompt, String& Value);
// As InputQuery; answers the text, or ADefault when cancelled.
String InputBox(const String& ACaption, const String& APrompt, const String& ADefault);

// The default sound of the platform (any type); tests count them.
BOOL MessageBeep(UINT uType);
Cardinal BeepCountForTesting();

// File dialogs. Paths given and taken are Windows paths.
enum TOpenOption {
  ofReadOnly,
  ofOverwritePrompt,
  ofHideReadOnly,
  ofNoChangeDir,
  ofShowHelp,
  ofNoValidate,
  ofAllowMultiSelect,
  ofExtensionDifferent,
  ofPathMustExist,
  ofFileMustExist,
  ofCreatePrompt,
  ofShareAware,
  ofNoReadOnlyReturn,
  ofNoTestFileCreate,
  ofNoNetworkButton,
  ofNoLongNames,
  ofOldStyleDialog,
  ofNoDereferenceLinks,
  ofEnableIncludeNotify,
  ofEnableSizing
};
using TOpenOptions = TSet<TOpenOption>;

// One choice of a dialog's filter: "Text|*.a;*.b|Other|*.*" gives ("Text", "*.a;*.b") and
// ("Other", "*.*"). A text without its pattern, or an empty pattern, is left out; an empty
// text shows its pattern.
struct TFilterEntry {
  String Description;
  String Patterns;
  bool operator==(const TFilterEntry&) const = default;
};
std::vector<TFilterEntry> ParseDialogFilter(const String& Filter);

// Execute shows the dialog and answers whether a file was chosen (FileName, a drive path).
// The dialog opens in FileName's folder, else InitialDir, else the current directory. A
// name may be typed as a drive path (either slash) or as a name in the folder shown; typed
// without an extension it gets DefaultExt. ofFileMustExist and ofPathMustExist refuse a
// file or folder that is not there, ofOverwritePrompt asks before an existing file is
// chosen for saving.
class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}
  const String& Title() const { return title_; }
  void SetTitle(const String& v) { title_ = v; }
  const String& Filter() const { return filter_; }
  void SetFilter(const String& v) { filter_ = v; }
  // 1 for the first choice of the filter.
  Integer FilterIndex() const { return filterIndex_; }
  void SetFilterIndex(Integer v) { filterIndex_ = v; }
  const String& DefaultExt() const { return defaultExt_; }
  void SetDefaultExt(const String& v) { defaultExt_ = v; }
  const String& FileName() const { return fileName_; }
  void SetFileName(const String& v) { fileName_ = v; }
  const String& InitialDir() const { return initialDir_; }
  void SetInitialDir(const String& v) { initialDir_ = v; }
  TOpenOptions Options() const { return options_; }
  void SetOptions(TOpenOptions v) { options_ = v; }
  virtual bool Execute();

 protected:
  bool Run(bool save);

 private:
  String title_;
  String filter_;
  Integer filterIndex_ = 1;
  String defaultExt_;
  String fileName_;
  String initialDir_;
  TOpenOptions options_{ofHideReadOnly, ofEnableSizing};
};

class TSaveDialog : public TOpenDialog {
 public:
  using TOpenDialog::TOpenDialog;
  bool Execute() override;
};

// Tests: what a dialog would have shown, and the answer to give instead.
enum TDialogKind {
  dkMessageBox,
  dkMessageDlg,
  dkShowMessage,
  dkInputQuery,
  dkOpenDialog,
  dkSaveDialog
};
struct TDialogRequest {
  TDialogKind Kind = dkMessageBox;
  String Text;
  String Caption;
  UINT Flags = 0;                     // message boxes
  TMsgDlgType DlgType = mtCustom;     // message dialogs
  TMsgDlgButtons Buttons;             // message dialogs
  String Value;                       // input boxes: the text offered; file dialogs: FileName
  std::vector<TFilterEntry> Filters;  // file dialogs
  Integer FilterIndex = 0;            // file dialogs
  String DefaultExt;                  // file dialogs
  String InitialDir;                  // file dialogs
  TOpenOptions Options;               // file dialogs
};
struct TDialogAnswer {
  int Result = 0;         // IDOK... for message boxes, mrOk... for message dialogs
  bool Accepted = false;  // input boxes and file dialogs: OK chosen
  String Value;           // input boxes: the text entered; file dialogs: the name typed
};
using TDialogAnswerer = std::function<TDialogAnswer(const TDialogRequest& Request)>;
// Replaces every dialog by a call of the answerer (an empty one shows dialogs again).
void SetDialogAnswererForTesting(TDialogAnswerer Answerer);
