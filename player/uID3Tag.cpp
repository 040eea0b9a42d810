#include "player/uID3Tag.h"

#include "classlib/Dialogs.h"
#include "classlib/SysUtils.h"
#include "player/uControls.h"
#include "player/uMain.h"
#include "player/uSkin.h"
#include "win32/Files.h"
#include "win32/Sync.h"

TfrmID3Tag* frmID3Tag = nullptr;

namespace {

constexpr TColor LabelColor = 0xFFE0C0;

// The form's captions and buttons: the shared plain controls in the form's own font.
TLabel* TagLabel(TfrmID3Tag* Form, const String& Name, Integer Left, Integer Top,
                 const String& Caption) {
  TLabel* l = MakeLabel(Form, Form, Name, Left, Top, Caption);
  l->SetParentFont(false);
  l->Font()->SetName("Tahoma");
  l->Font()->SetColor(LabelColor);
  return l;
}

TEdit* MakeEdit(TfrmID3Tag* Form, const String& Name, Integer Left, Integer Top, Integer Width) {
  auto* e = CreateControl<TEdit>(Form, Form, Name, Left, Top, Width, 21);
  e->SetColor(clBlack);
  e->SetParentFont(false);
  e->Font()->SetName("Tahoma");
  e->Font()->SetColor(clWhite);
  e->SetText("");
  return e;
}

TSpeedButton* TagButton(TfrmID3Tag* Form, const String& Name, Integer Left, Integer Top,
                        Integer Width, const String& Caption, const String& Hint) {
  TSpeedButton* b = MakeButton(Form, Form, Name, Left, Top, Width, 23, Caption);
  b->SetParentFont(false);
  b->Font()->SetName("Tahoma");
  b->Font()->SetColor(LabelColor);
  if (!Hint.empty()) {
    b->SetHint(Hint);
    b->SetShowHint(true);
  }
  return b;
}

// The size of a file from its folder's entry: no need to open the file, so a file or
// folder the user may not write still shows its facts. The search takes the name as a
// pattern, so only an entry of exactly that name (letter case aside) counts.
Int64 FileSizeOf(const String& Path) {
  const String name = ExtractFileName(Path);
  WIN32_FIND_DATAA data{};
  HANDLE find = FindFirstFileA(Path.c_str(), &data);
  DWORD error = find == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (find != INVALID_HANDLE_VALUE) {
    bool found = false;
    do {
      found = SameText(data.cFileName, name) && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    } while (!found && FindNextFileA(find, &data));
    FindClose(find);
    if (!found) error = ERROR_FILE_NOT_FOUND;
  }
  if (error != 0) {
    const char* text = error == ERROR_FILE_NOT_FOUND   ? "File not found"
                       : error == ERROR_PATH_NOT_FOUND ? "Path not found"
                       : error == ERROR_ACCESS_DENIED  ? "File access denied"
                                                       : "Input/output error";
    EInOutError e(text);
    e.ErrorCode = static_cast<Integer>(error);
    throw e;
  }
  return (static_cast<Int64>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

TfrmID3Tag::TfrmID3Tag(TComponent* AOwner) : TForm(AOwner) {
  SetName("frmID3Tag");
  SetBorderStyle(bsNone);
  SetPosition(poDesigned);
  SetCaption("ID3 Tag");
  SetColor(0x3C0000);
  SetBounds(223, 429, 500, 250);
  SetClientWidth(500);
  SetClientHeight(250);
  SetShowHint(true);

  imgBack = CreateControl<TImage>(this, this, "imgBack", 0, 0, 500, 250);
  LoadSkinPicture(imgBack, "KAZ_ID3BACK");
  imgBack->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int X,
                                int Y) { pnlBackMouseDown(Sender, Button, Shift, X, Y); };
  imgBack->OnMouseMove = [this](TObject* Sender, TShiftState Shift, int X, int Y) {
    pnlBackMouseMove(Sender, Shift, X, Y);
  };

  lblFile = TagLabel(this, "lblFile", 12, 10, "");
  lblFile->Font()->SetColor(clWhite);
  lblFile->Font()->SetStyle({fsBold});
  lblFile->SetShowHint(true);

  const struct {
    TEdit** field;
    const char* name;
    const char* label;
    Integer left, top, width;
  } edits[] = {
      {&txtTitle, "txtTitle", "Title", 82, 34, 244},
      {&txtArtist, "txtArtist", "Artist", 82, 60, 244},
      {&txtAlbum, "txtAlbum", "Album", 82, 86, 244},
      {&txtYear, "txtYear", "Year", 82, 112, 60},
      {&txtStyle, "txtStyle", "Style", 186, 112, 140},
      {&txtComments, "txtComments", "Comments", 82, 138, 198},
  };
  for (const auto& e : edits) {
    const Integer labelLeft = e.left == 82 ? 12 : e.left - 34;
    TagLabel(this, String("lbl") + e.label, labelLeft, e.top + 3, e.label);
    *e.field = MakeEdit(this, e.name, e.left, e.top, e.width);
  }
  btnBPM = TagButton(this, "btnBPM", 286, 137, 40, "BPM", "");
  btnBPM->OnClick = [this](TObject* Sender) { btnBPMClick(Sender); };

  bvlInfos = CreateControl<TBevel>(this, this, "bvlInfos", 334, 34, 154, 90);
  lblInfos = TagLabel(this, "lblInfos", 342, 42, "");
  lblInfos->SetAutoSize(false);
  lblInfos->SetBounds(342, 42, 140, 76);
  lblInfos->SetWordWrap(true);

  btnSave = TagButton(this, "btnSave", 250, 212, 75, "Save", "Save & Close");
  btnClear = TagButton(this, "btnClear", 331, 212, 75, "Clear", "Remove ID3Tag");
  btnClose = TagButton(this, "btnClose", 412, 212, 75, "Close", "Close without saving");
  btnClose->OnClick = [this](TObject* Sender) { btnCloseClick(Sender); };

  Xanalyzer = new TXAnalyzer(this);
  Xanalyzer->SetName("Xanalyzer");
  Xanalyzer->SetStopMask(0);
  Xanalyzer->SetWatchDog(0);
  Xanalyzer->SetMaxFrames(1);
}

TfrmID3Tag::~TfrmID3Tag() {
  if (frmID3Tag == this) frmID3Tag = nullptr;
}

String ID3InfoText(Int64 Size, Cardinal DurationMs, Cardinal Layer) {
  constexpr Int64 MB = 1048576;
  Cardinal seconds = DurationMs / 1000;
  return Format("Size : %d (%d.%.2d MB)", Size, Size / MB, (Size % MB) * 100 / MB) + "\n" +
         Format("Duration : %.2d:%.2d (%d sec)", seconds / 60, seconds % 60, seconds) + "\n" +
         Format("Layer : %d", Layer);
}

void TfrmID3Tag::ShowFileInfo(const String& Path) {
  Int64 size = FileSizeOf(Path);
  lblFile->SetCaption(ExtractFileName(Path));
  lblFile->SetHint(Path);
  Xanalyzer->SetFileName(Path);
  txtTitle->SetText(Xanalyzer->Title());
  txtArtist->SetText(Xanalyzer->Artist());
  txtAlbum->SetText(Xanalyzer->Album());
  txtYear->SetText(Xanalyzer->Year());
  txtComments->SetText(Xanalyzer->Comment());
  lblInfos->SetCaption(ID3InfoText(size, Xanalyzer->Duration(), Xanalyzer->Layer()));
  ShowModal();
}

void TfrmID3Tag::btnBPMClick(TObject*) {
  String value = ParseBPM(txtComments->Text());
  if (!InputQuery("BPM", "Enter BPM", value)) return;
  Integer bpm = 0;
  if (!TryStrToInt(value, bpm)) {
    MessageBox(Handle(), "Bad BPM", "Error", MB_ICONERROR);
    return;
  }
  txtComments->SetText("BPM=" + value);
}

void TfrmID3Tag::btnCloseClick(TObject*) {
  Close();
}

void TfrmID3Tag::pnlBackMouseDown(TObject*, TMouseButton, TShiftState, Integer X, Integer Y) {
  DragPoint = {X, Y};
}

void TfrmID3Tag::pnlBackMouseMove(TObject*, TShiftState Shift, Integer X, Integer Y) {
  if (!LeftAlone(Shift)) return;
  SetLeft(Left() + X - DragPoint.x);
  SetTop(Top() + Y - DragPoint.y);
}
