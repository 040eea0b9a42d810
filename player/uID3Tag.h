// The ID3 information dialog.
#pragma once

#include "classlib/Forms.h"

class TfrmID3Tag : public TForm {
 public:
  explicit TfrmID3Tag(TComponent* AOwner);
};

extern TfrmID3Tag* frmID3Tag;
