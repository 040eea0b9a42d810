// The ID3 information dialog: the tag texts and stream facts of one MP3 file, shown
// modally. Nothing typed here is stored anywhere: the file is only ever read.
#pragma once

#include "classlib/Buttons.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"
#include "engine/XAnalyzer.h"

class TfrmID3Tag : public TForm {
 public:
  explicit TfrmID3Tag(TComponent* AOwner);
  ~TfrmID3Tag() override;

  // Fills the dialog for the file (a Windows path) and shows it modally. A file whose size
  // cannot be read raises EInOutError and the dialog stays hidden.
  void ShowFileInfo(const String& Path);

  void btnBPMClick(TObject* Sender);
  void btnCloseClick(TObject* Sender);
  void pnlBackMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                        Integer Y);
  void pnlBackMouseMove(TObject* Sender, TShiftState Shift, Integer X, Integer Y);

  TImage* imgBack = nullptr;
  TLabel* lblFile = nullptr;
  TEdit* txtTitle = nullptr;
  TEdit* txtArtist = nullptr;
  TEdit* txtAlbum = nullptr;
  TEdit* txtYear = nullptr;
  TEdit* txtStyle = nullptr;
  TEdit* txtComments = nullptr;
  TSpeedButton* btnBPM = nullptr;
  TBevel* bvlInfos = nullptr;
  TLabel* lblInfos = nullptr;
  TSpeedButton* btnSave = nullptr;
  TSpeedButton* btnClose = nullptr;
  TSpeedButton* btnClear = nullptr;
  TXAnalyzer* Xanalyzer = nullptr;

 private:
  TPoint DragPoint;
};

// The info text: size in bytes and megabytes, duration, layer, one a line.
String ID3InfoText(Int64 Size, Cardinal DurationMs, Cardinal Layer);

extern TfrmID3Tag* frmID3Tag;
