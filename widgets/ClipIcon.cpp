#include "widgets/ClipIcon.h"

#include "classlib/Gdi.h"
#include "classlib/SysUtils.h"

void RaiseOutOfResources() {
  throw EOutOfResources("Out of system resources");
}

void MeasureIcon(TIcon* Icon, Integer& Width, Integer& Height) {
  if (!Icon || Icon->Empty()) {
    Width = Height = 32;
    return;
  }
  Width = Icon->Width();
  Height = Icon->Height();
}

std::unique_ptr<TIcon> CopyIconNativeSize(TIcon* Icon) {
  if (!Icon) RaiseOutOfResources();
  auto copy = std::make_unique<TIcon>();
  copy->Assign(Icon);
  return copy;
}
