#include "classlib/Dialogs.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "classlib/ControlsPrivate.h"
#include "classlib/Forms.h"
#include "classlib/GuiPrivate.h"
#include "classlib/SysUtils.h"
#include "win32/Files.h"
#include "win32/Paths.h"

namespace {

TDialogAnswerer g_answerer;

QWidget* ParentWindow() {
  TForm* f = Screen->ActiveForm();
  if (!f && Application->MainForm() && Application->MainForm()->Visible())
    f = Application->MainForm();
  return f ? f->Host()->widget.data() : nullptr;
}

QMessageBox::Icon IconOf(UINT flags) {
  switch (flags & 0xF0) {
    case MB_ICONHAND:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
      return QMessageBox::Warning;
    case MB_ICONASTERISK:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// Runs a message box with the given (button, answer) pairs; Escape or closing answers
// escapeAnswer.
int RunBox(const String& text, const String& caption, QMessageBox::Icon icon,
           const std::vector<std::pair<QMessageBox::StandardButton, int>>& buttons,
           int defaultIndex, int escapeAnswer) {
  EnsureQtApplication();
  QMessageBox box(icon, AnsiToQt(caption), AnsiToQt(text), QMessageBox::NoButton, ParentWindow());
  std::vector<std::pair<QAbstractButton*, int>> map;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    QPushButton* b = box.addButton(buttons[i].first);
    map.push_back({b, buttons[i].second});
    if (int(i) == defaultIndex) box.setDefaultButton(b);
  }
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (auto& m : map)
    if (m.first == clicked) return m.second;
  return escapeAnswer;
}

}  // namespace

void SetDialogAnswererForTesting(TDialogAnswerer Answerer) {
  g_answerer = std::move(Answerer);
}

int MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  String text = lpText ? lpText : "";
  String caption = lpCaption ? lpCaption : "Error";
  if (g_answerer) {
    TDialogRequest r;
    r.Kind = dkMessageBox;
    r.Text = text;
    r.Caption = caption;
    r.Flags = uType;
    return g_answerer(r).Result;
  }
  using B = QMessageBox;
  std::vector<std::pair<B::StandardButton, int>> buttons;
  int escape = IDCANCEL;
  switch (uType & 0xF) {
    case MB_OKCANCEL:
      buttons = {{B::Ok, IDOK}, {B::Cancel, IDCANCEL}};
      break;
    case MB_ABORTRETRYIGNORE:
      buttons = {{B::Abort, IDABORT}, {B::Retry, IDRETRY}, {B::Ignore, IDIGNORE}};
      escape = IDABORT;
      break;
    case MB_YESNOCANCEL:
      buttons = {{B::Yes, IDYES}, {B::No, IDNO}, {B::Cancel, IDCANCEL}};
      break;
    case MB_YESNO:
      buttons = {{B::Yes, IDYES}, {B::No, IDNO}};
      escape = IDNO;
      break;
    case MB_RETRYCANCEL:
      buttons = {{B::Retry, IDRETRY}, {B::Cancel, IDCANCEL}};
      break;
    default:
      buttons = {{B::Ok, IDOK}};
      escape = IDOK;
  }
  int def = (uType & MB_DEFBUTTON3) ? 2 : (uType & MB_DEFBUTTON2) ? 1 : 0;
  return RunBox(text, caption, IconOf(uType), buttons, def, escape);
}

Integer MessageDlg(const String& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, Integer) {
  static const char* const kCaptions[] = {"Warning", "Error", "Information", "Confirm", ""};
  String caption = DlgType == mtCustom ? Application->Title() : kCaptions[DlgType];
  if (g_answerer) {
    TDialogRequest r;
    r.Kind = dkMessageDlg;
    r.Text = Msg;
    r.Caption = caption;
    r.DlgType = DlgType;
    r.Buttons = Buttons;
    return g_answerer(r).Result;
  }
  using B = QMessageBox;
  const std::pair<TMsgDlgBtn, std::pair<B::StandardButton, int>> all[] = {
      {mbYes, {B::Yes, mrYes}},
      {mbNo, {B::No, mrNo}},
      {mbOK, {B::Ok, mrOk}},
      {mbCancel, {B::Cancel, mrCancel}},
      {mbAbort, {B::Abort, mrAbort}},
      {mbRetry, {B::Retry, mrRetry}},
      {mbIgnore, {B::Ignore, mrIgnore}},
      {mbAll, {B::YesToAll, mrAll}},
      {mbNoToAll, {B::NoToAll, mrNoToAll}},
      {mbYesToAll, {B::YesToAll, mrYesToAll}},
      {mbHelp, {B::Help, mrNone}}};
  std::vector<std::pair<B::StandardButton, int>> buttons;
  for (auto& a : all)
    if (Buttons.Contains(a.first)) buttons.push_back(a.second);
  if (buttons.empty()) buttons.push_back({B::Ok, mrOk});
  B::Icon icon = DlgType == mtWarning        ? B::Warning
                 : DlgType == mtError        ? B::Critical
                 : DlgType == mtInformation  ? B::Information
                 : DlgType == mtConfirmation ? B::Question
                                             : B::NoIcon;
  return RunBox(Msg, caption, icon, buttons, 0, mrCancel);
}

void ShowMessage(const String& Msg) {
  if (g_answerer) {
    TDialogRequest r;
    r.Kind = dkShowMessage;
    r.Text = Msg;
    r.Caption = Application->Title();
    g_answerer(r);
    return;
  }
  RunBox(Msg, Application->Title(), QMessageBox::NoIcon, {{QMessageBox::Ok, mrOk}}, 0, mrOk);
}

bool InputQuery(const String& ACaption, const String& APrompt, String& Value) {
  if (g_answerer) {
    TDialogRequest r;
    r.Kind = dkInputQuery;
    r.Text = APrompt;
    r.Caption = ACaption;
    r.Value = Value;
    TDialogAnswer a = g_answerer(r);
    if (a.Accepted) Value = a.Value;
    return a.Accepted;
  }
  EnsureQtApplication();
  bool ok = false;
  QString text = QInputDialog::getText(ParentWindow(), AnsiToQt(ACaption), AnsiToQt(APrompt),
                                       QLineEdit::Normal, AnsiToQt(Value), &ok);
  if (ok) Value = QtToAnsi(text);
  return ok;
}

String InputBox(const String& ACaption, const String& APrompt, const String& ADefault) {
  String v = ADefault;
  InputQuery(ACaption, APrompt, v);
  return v;
}

// ---------------------------------------------------------------------------------------
// Beeps

namespace {
Cardinal g_beeps = 0;
}  // namespace

BOOL MessageBeep(UINT) {
  ++g_beeps;
  if (QApplication::instance()) QApplication::beep();
  return TRUE;
}

Cardinal BeepCountForTesting() {
  return g_beeps;
}

// ---------------------------------------------------------------------------------------
// File dialogs

std::vector<TFilterEntry> ParseDialogFilter(const String& Filter) {
  std::vector<String> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t bar = Filter.find('|', start);
    parts.push_back(Filter.substr(start, bar == String::npos ? String::npos : bar - start));
    if (bar == String::npos) break;
    start = bar + 1;
  }
  std::vector<TFilterEntry> out;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    String patterns = Trim(parts[i + 1]);
    if (patterns.empty()) continue;
    String text = Trim(parts[i]);
    out.push_back({text.empty() ? patterns : text, patterns});
  }
  return out;
}

namespace {

String WithDefaultExt(const String& name, const String& ext) {
  String e = ext;
  while (!e.empty() && e[0] == '.') e.erase(0, 1);
  if (name.empty() || e.empty() || !ExtractFileExt(name).empty()) return name;
  return name + "." + e;
}

// The checks the platform's dialog makes before it lets a name go; false keeps the dialog
// from answering it.
bool Acceptable(const String& name, TOpenOptions options, bool save, const String& title) {
  if (name.empty()) return false;
  String dir = ExtractFileDir(name);
  if ((options.Contains(ofPathMustExist) || options.Contains(ofFileMustExist)) && !dir.empty() &&
      !DirectoryExists(dir)) {
    MessageBoxA(0, (name + "\nPath does not exist.\nCheck the path and try again.").c_str(),
                title.c_str(), MB_OK | MB_ICONWARNING);
    return false;
  }
  if (options.Contains(ofFileMustExist) && !FileExists(name)) {
    MessageBoxA(
        0, (name + "\nFile not found.\nPlease verify the correct file name was given.").c_str(),
        title.c_str(), MB_OK | MB_ICONWARNING);
    return false;
  }
  if (save && options.Contains(ofOverwritePrompt) && FileExists(name)) {
    int a = MessageBoxA(0, (name + " already exists.\nDo you want to replace it?").c_str(),
                        title.c_str(), MB_YESNO | MB_ICONWARNING);
    if (a != IDYES) return false;
  }
  return true;
}

// Where a dialog opens, as the platform's dialog picks it: the folder of the file the
// program names, else the folder it names, else the current directory.
String StartFolder(const String& fileName, const String& initialDir) {
  String dir = ExtractFileDir(fileName);
  if (!dir.empty()) return dir;
  if (!initialDir.empty()) return initialDir;
  String cwd(GetCurrentDirectoryA(0, nullptr), '\0');
  cwd.resize(GetCurrentDirectoryA(DWORD(cwd.size()), cwd.data()));
  return cwd;
}

// The file a name typed in a dialog showing `folder` names, in `native`; false when it
// names nothing on a drive.
bool TypedNative(const String& folder, const String& typed, std::string& native) {
  DWORD err = 0;
  return win32::WindowsToLinuxPathFrom(folder, typed, native, err);
}

// The drive path of what a name typed in a dialog showing `folder` names; "" when it names
// nothing on a drive.
String TypedPath(const String& folder, const String& typed) {
  std::string native;
  return TypedNative(folder, typed, native) ? win32::LinuxToWindowsPath(native) : String();
}

// The drive path of a file Qt names.
String DrivePath(const QString& path) {
  return win32::LinuxToWindowsPath(QFile::encodeName(path).toStdString());
}

// Qt's dialog takes "C:\a" for a name in the folder it shows; the platform's dialog takes a
// typed name as a path of the system's: a drive path, or a name in the folder shown. A
// folder so named opens, a file is chosen, and the checks are the platform's (Run's).
// Wildcards (a filter typed) and names the code page cannot hold stay Qt's.
class TFileDialogWindow : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  // The drive path of the file chosen.
  String Chosen() const {
    if (!typed_.empty()) return typed_;
    const QStringList files = selectedFiles();
    return files.isEmpty() ? String() : DrivePath(files.first());
  }

  void accept() override {
    typed_.clear();
    auto* edit = findChild<QLineEdit*>("fileNameEdit");
    const String name = edit ? QtToAnsi(edit->text()) : String();
    std::string native;
    if (name.empty() || name.find_first_of("*?\"") != String::npos ||
        !TypedNative(DrivePath(directory().absolutePath()), name, native)) {
      QFileDialog::accept();
      return;
    }
    const QString path = QFile::decodeName(native.c_str());
    if (QFileInfo(path).isDir()) {
      setDirectory(path);
      edit->clear();
      return;
    }
    typed_ = win32::LinuxToWindowsPath(native);
    if (typed_.empty())
      QFileDialog::accept();
    else
      done(QDialog::Accepted);
  }

 private:
  String typed_;
};

}  // namespace

bool TOpenDialog::Execute() {
  return Run(false);
}

bool TSaveDialog::Execute() {
  return Run(true);
}

bool TOpenDialog::Run(bool save) {
  std::vector<TFilterEntry> filters = ParseDialogFilter(filter_);
  String title = title_.empty() ? String(save ? "Save As" : "Open") : title_;
  if (g_answerer) {
    TDialogRequest r;
    r.Kind = save ? dkSaveDialog : dkOpenDialog;
    r.Caption = title;
    r.Value = fileName_;
    r.Filters = filters;
    r.FilterIndex = filterIndex_;
    r.DefaultExt = defaultExt_;
    r.InitialDir = initialDir_;
    r.Options = options_;
    TDialogAnswer a = g_answerer(r);
    if (!a.Accepted) return false;
    // The user's answer is what they typed, and goes through the same checks; a refused
    // one is a cancel here, as the answerer cannot be asked again.
    String typed = TypedPath(StartFolder(fileName_, initialDir_), a.Value);
    String name = WithDefaultExt(typed.empty() ? a.Value : typed, defaultExt_);
    if (!Acceptable(name, options_, save, title)) return false;
    fileName_ = name;
    return true;
  }
  EnsureQtApplication();
  TFileDialogWindow dlg(ParentWindow(), AnsiToQt(title));
  dlg.setOption(QFileDialog::DontUseNativeDialog);
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // Any name may be typed, a drive path too, which Qt would take for a missing file and
  // refuse: whether the file must exist is checked below, with the platform's words, as
  // is overwriting.
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setOption(QFileDialog::DontConfirmOverwrite);
  dlg.setSizeGripEnabled(options_.Contains(ofEnableSizing));
  // Qt's filter names end in their patterns, which its list shows unless told not to; the
  // platform shows each description as the program gives it (often naming its patterns
  // itself).
  dlg.setOption(QFileDialog::HideNameFilterDetails);
  QStringList names;
  for (const TFilterEntry& f : filters) {
    QString patterns = AnsiToQt(f.Patterns);
    patterns.replace(';', ' ');
    names << AnsiToQt(f.Description) + " (" + patterns + ")";
  }
  if (!names.isEmpty()) {
    dlg.setNameFilters(names);
    int i = filterIndex_ - 1;
    if (i >= 0 && i < names.size()) dlg.selectNameFilter(names[i]);
  }
  std::string native;
  DWORD err = 0;
  const String start = StartFolder(fileName_, initialDir_);
  if (win32::WindowsToLinuxPath(start, native, err))
    dlg.setDirectory(QFile::decodeName(native.c_str()));
  if (!fileName_.empty() && win32::WindowsToLinuxPathFrom(start, fileName_, native, err))
    dlg.selectFile(QFile::decodeName(native.c_str()));
  for (;;) {
    if (dlg.exec() != QDialog::Accepted) return false;
    String chosen = dlg.Chosen();
    if (chosen.empty()) return false;
    String name = WithDefaultExt(chosen, defaultExt_);
    if (!Acceptable(name, options_, save, title)) continue;
    fileName_ = name;
    filterIndex_ = Integer(names.indexOf(dlg.selectedNameFilter())) + 1;
    return true;
  }
}
