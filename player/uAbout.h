// The about box.
#pragma once

#include "classlib/Forms.h"

class TfrmAbout : public TForm {
 public:
  explicit TfrmAbout(TComponent* AOwner);
};

extern TfrmAbout* frmAbout;
