// The about box: credits, version history and the update check, three pages on one spot.
// One instance for the whole run; it keeps its last page and texts between openings.
#pragma once

#include "classlib/Buttons.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "classlib/Http.h"
#include "classlib/StdCtrls.h"

// Where the update check asks: plain HTTP, the default port unless the host names one.
extern String UpdateServer;
// This program's version, as the update check shows it beside the server's answer.
extern const char* const LocalVersion;

class TfrmAbout : public TForm {
 public:
  explicit TfrmAbout(TComponent* AOwner);
  ~TfrmAbout() override;

  TImage* imgBack = nullptr;
  TSpeedButton* btnOk = nullptr;
  TSpeedButton* btnCredits = nullptr;
  TSpeedButton* btnVersions = nullptr;
  TSpeedButton* btnUpdate = nullptr;
  TPanel* pnlCredits = nullptr;
  TMemo* txtCredits = nullptr;
  TPanel* pnlVersions = nullptr;
  TMemo* txtVersions = nullptr;
  TPanel* pnlUpdate = nullptr;
  TMemo* txtUpdate = nullptr;
  TImage* imgMail = nullptr;
  TImage* imgURL = nullptr;
  THttpClient* Http = nullptr;

  void btnOkClick(TObject* Sender);
  void btnCreditsClick(TObject* Sender);
  void btnVersionsClick(TObject* Sender);
  void btnUpdateMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                          Integer Y);
  // The request itself: blocks until the answer, and raises when there is none.
  void btnUpdateMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X,
                        Integer Y);
  void imgMailClick(TObject* Sender);
  void imgURLClick(TObject* Sender);

 private:
  TMemo* MakePage(TPanel*& Panel, const String& Name, const String& Text);
};

extern TfrmAbout* frmAbout;
