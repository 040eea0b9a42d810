#include "player/uID3Tag.h"

TfrmID3Tag* frmID3Tag = nullptr;

TfrmID3Tag::TfrmID3Tag(TComponent* AOwner) : TForm(AOwner) {
  SetName("frmID3Tag");
}
