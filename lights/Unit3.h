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

  TSpeedButton* SpeedButton3 = nullptr;  // "General"
  TSpeedButton* SpeedButton4 = nullptr;  // "Spots"
  TSpeedButton* SpeedButton5 = nullptr;  // "Pins"
  TSpeedButton* SpeedButton2 = nullptr;  // "Filter"
  TSpeedButton* SpeedButton1 = nullptr;  // "OK"

  TPanel* GeneralPnl = nullptr;
  TCheckBox* SOTChk = nullptr;
  TCheckBox* DockChk = nullptr;

  TPanel* Spotpnl = nullptr;
  TEdit* FlashEdit = nullptr;
  TUpDown* FlashUpDwn = nullptr;
  TEdit* AuxOut1 = nullptr;
  TEdit* AuxOut2 = nullptr;
  TSpeedButton* SpeedButton6 = nullptr;

  TPanel* PinsPnl = nullptr;
  TCheckBox* Nouts = nullptr;
  TPanel* Step1Pnl = nullptr;
  TEdit* Edit1 = nullptr;
  TUpDown* UpDown1 = nullptr;
  TSpeedButton* SpeedButton8 = nullptr;
  TPanel* Step2Pnl = nullptr;
  TComboBox* Combo1 = nullptr;
  TSpeedButton* SpeedButton11 = nullptr;
  TSpeedButton* SpeedButton12 = nullptr;
  TSpeedButton* FinishBtn = nullptr;

  TPanel* FilterPnl = nullptr;
  TEdit* IgnEdit = nullptr;
  TUpDown* UpDown2 = nullptr;
  TLabel* Label11 = nullptr;
  TLabel* ActivityLbl = nullptr;
  TSpeedButton* SpeedButton7 = nullptr;

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
