// The setup dialog: stay on top, the flash length, the auxiliary outputs' names, the
// 8-outputs mode, the pin allocation wizard and the beat filter with its counter. It works
// directly on the main window's components and timers; nothing of it is saved.
#pragma once

#include "classlib/Buttons.h"
#include "classlib/ComCtrls.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"

class TForm3 : public TForm {
 public:
  explicit TForm3(TComponent* AOwner);
  ~TForm3() override;

  TSpeedButton* SpeedButton3;  // "General"
  TSpeedButton* SpeedButton4;  // "Spots"
  TSpeedButton* SpeedButton5;  // "Pins"
  TSpeedButton* SpeedButton2;  // "Filter"
  TSpeedButton* SpeedButton1;  // "OK"

  TPanel* GeneralPnl;
  TCheckBox* SOTChk;
  TCheckBox* DockChk;

  TPanel* Spotpnl;
  TEdit* FlashEdit;
  TUpDown* FlashUpDwn;
  TEdit* AuxOut1;
  TEdit* AuxOut2;
  TSpeedButton* SpeedButton6;

  TPanel* PinsPnl;
  TCheckBox* Nouts;
  TPanel* Step1Pnl;
  TEdit* Edit1;
  TUpDown* UpDown1;
  TSpeedButton* SpeedButton8;
  TPanel* Step2Pnl;
  TComboBox* Combo1;
  TSpeedButton* SpeedButton11;
  TSpeedButton* SpeedButton12;
  TSpeedButton* FinishBtn;

  TPanel* FilterPnl;
  TEdit* IgnEdit;
  TUpDown* UpDown2;
  TLabel* Label11;
  TLabel* ActivityLbl;
  TSpeedButton* SpeedButton7;

  void FormShow(TObject* Sender);
  void SpeedButton3Click(TObject* Sender);
  void SpeedButton4Click(TObject* Sender);
  void SpeedButton5Click(TObject* Sender);
  void SpeedButton2Click(TObject* Sender);
  void SpeedButton1Click(TObject* Sender);
  void SOTChkClick(TObject* Sender);
  void FlashUpDwnClick(TObject* Sender, TUDBtnType Button);
  void SpeedButton6Click(TObject* Sender);
  void NoutsClick(TObject* Sender);
  void UpDown1Click(TObject* Sender, TUDBtnType Button);
  void SpeedButton8Click(TObject* Sender);
  void SpeedButton11Click(TObject* Sender);
  void SpeedButton12Click(TObject* Sender);
  void FinishBtnClick(TObject* Sender);
  void UpDown2Click(TObject* Sender, TUDBtnType Button);
  void SpeedButton7Click(TObject* Sender);

 private:
  TPanel* MakePage(const char* Name, const char* Title);
  void BuildGeneralPage();
  void BuildSpotsPage();
  void BuildPinsPage();
  void BuildFilterPage();
  void ShowPage(TPanel* Page);
  void ShowStep1();
};

extern TForm3* Form3;
