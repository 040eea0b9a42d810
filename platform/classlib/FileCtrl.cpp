#include "classlib/FileCtrl.h"

#include <cctype>

#include "win32/Files.h"

namespace {

char Cased(char c, TTextCase tc) {
  return static_cast<char>(tc == tcUpperCase ? std::toupper(static_cast<unsigned char>(c))
                                             : std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

TDriveComboBox::TDriveComboBox(TComponent* AOwner) : TComboBox(AOwner) {
  SetStyle(csDropDownList);
  BuildList();
  // The current directory's drive first, else the first drive there is.
  char buf[1024] = {0};
  char start = 0;
  if (GetCurrentDirectoryA(sizeof buf, buf) > 0 && std::isalpha(static_cast<unsigned char>(buf[0])))
    start = buf[0];
  else if (Items()->Count() > 0)
    start = Items()->Strings(0)[0];
  if (start) SetDrive(start);
}

void TDriveComboBox::BuildList() {
  DWORD drives = GetLogicalDrives();
  Items()->BeginUpdate();
  Items()->Clear();
  for (int i = 0; i < 26; ++i)
    if (drives & (1u << i)) Items()->Add(String(1, Cased(char('a' + i), textCase_)) + ":");
  Items()->EndUpdate();
  if (drive_) {
    char d = drive_;
    drive_ = 0;
    Integer keep = -1;
    for (Integer i = 0; i < Items()->Count(); ++i)
      if (std::toupper(static_cast<unsigned char>(Items()->Strings(i)[0])) ==
          std::toupper(static_cast<unsigned char>(d)))
        keep = i;
    if (keep >= 0) {
      drive_ = Items()->Strings(keep)[0];
      SetItemIndex(keep);
    }
  }
}

void TDriveComboBox::SetDrive(char NewDrive) {
  char want = static_cast<char>(std::toupper(static_cast<unsigned char>(NewDrive)));
  for (Integer i = 0; i < Items()->Count(); ++i) {
    const String& s = Items()->Strings(i);
    if (std::toupper(static_cast<unsigned char>(s[0])) != want) continue;
    if (ItemIndex() == i && drive_ == s[0]) return;
    drive_ = s[0];
    SetItemIndex(i);
    Change();
    return;
  }
  // A letter the platform does not map leaves the box as it is.
}

void TDriveComboBox::SetTextCase(TTextCase v) {
  if (v == textCase_) return;
  textCase_ = v;
  if (drive_) drive_ = Cased(drive_, v);
  BuildList();
}

void TDriveComboBox::Chosen(Integer Index) {
  if (Index < 0 || Index >= Items()->Count()) return;
  SetDrive(Items()->Strings(Index)[0]);
  Click();
}
