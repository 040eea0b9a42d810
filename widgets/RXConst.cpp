#include "widgets/RXConst.h"

#include "classlib/Forms.h"

namespace {

void Install(TCursor Number, const char* Name, Integer HotX, Integer HotY) {
  TBitmap picture;
  picture.LoadFromResourceName(0, Name);
  Screen->SetCursors(Number, CreateCursorFromBitmap(&picture, HotX, HotY));
}

}  // namespace

void InstallRxCursors() {
  Install(crHand, "RX_HANDCUR", 6, 16);
  Install(crDragHand, "RX_DRAGCUR", 15, 16);
}
