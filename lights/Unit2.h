// The about box of the light controller: two logos and a few lines on the hardware it is
// meant for. It has no behaviour of its own.
#pragma once

#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"

class TForm2 : public TForm {
 public:
  explicit TForm2(TComponent* AOwner);
  ~TForm2() override;

  TPaintBox* Logo1 = nullptr;
  TPaintBox* Logo2 = nullptr;
  TLabel* Label1 = nullptr;
  TLabel* Label2 = nullptr;
  TLabel* Label3 = nullptr;
  TLabel* Label4 = nullptr;

 private:
  void PaintBeamLogo(TObject* Sender);
  void PaintLampLogo(TObject* Sender);
};

extern TForm2* Form2;
