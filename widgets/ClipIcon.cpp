#include "widgets/ClipIcon.h"

#include <climits>
#include <string>
#include <vector>

#include "classlib/Gdi.h"
#include "classlib/SysUtils.h"
#include "widgets/LittleEndian.h"
#include "widgets/RxGraph.h"
#include "widgets/rxStrUtils.h"

namespace {

const char* const SOutOfResources = "Out of system resources";

// Icon files are little-endian; a read past the end means the file is damaged.
DWORD Get(const std::string& s, std::size_t at, int bytes) {
  if (at + std::size_t(bytes) > s.size()) RaiseOutOfResources();
  return GetLittleEndian(s.data() + at, bytes);
}

// One entry of an icon file's directory.
struct TIconDirEntry {
  Byte ColorCount;
  DWORD BytesInRes, ImageOffset;
};

std::vector<TIconDirEntry> ReadDirectory(const std::string& s, Word Count) {
  std::vector<TIconDirEntry> entries;
  for (std::size_t i = 0, at = 6; i < Count; ++i, at += 16)
    entries.push_back({Byte(Get(s, at + 2, 1)), Get(s, at + 8, 4), Get(s, at + 12, 4)});
  return entries;
}

// The entry for a display of this many bits per pixel. A colour count of 0 in the file
// means 256 colours or more, all a display of 8 bits or more shows. Without an exact
// match the richest entry the display can show is taken, else the first.
std::size_t ChooseEntry(const std::vector<TIconDirEntry>& Entries, int DisplayBits) {
  const int display = DisplayBits >= 8 ? 0 : 1 << DisplayBits;
  for (std::size_t i = 0; i < Entries.size(); ++i)
    if (Entries[i].ColorCount == display) return i;
  auto rank = [](int colors) { return colors == 0 ? INT_MAX : colors; };
  std::size_t best = 0;
  bool found = false;
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    const int c = rank(Entries[i].ColorCount);
    if (c <= rank(display) && (!found || c > rank(Entries[best].ColorCount))) {
      best = i;
      found = true;
    }
  }
  return best;
}

// A bitmap from a picture's header (with its palette) and bits, as a bitmap file holds
// them.
std::unique_ptr<TBitmap> BitmapFrom(const std::string& Info, const std::string& Bits) {
  std::string file(14, '\0');
  file[0] = 'B';
  file[1] = 'M';
  PutLittleEndian(file, 2, DWORD(14 + Info.size() + Bits.size()), 4);
  PutLittleEndian(file, 10, DWORD(14 + Info.size()), 4);
  file += Info;
  file += Bits;
  auto bitmap = std::make_unique<TBitmap>();
  try {
    bitmap->LoadFromBytes(file.data(), file.size(), "icon image");
  } catch (const EInvalidGraphic&) {
    RaiseOutOfResources();
  }
  return bitmap;
}

// The icon of one image of an icon file: its header (height doubled: colour over mask),
// palette, colour rows and mask rows.
std::unique_ptr<TIcon> IconFromImage(const std::string& Image) {
  const DWORD headerSize = Get(Image, 0, 4);
  if (headerSize < 40 || headerSize > Image.size()) RaiseOutOfResources();
  const Integer w = Integer(Get(Image, 4, 4)), h = Integer(Get(Image, 8, 4)) / 2;
  const Integer bitCount = Integer(Get(Image, 14, 2));
  const DWORD used = Get(Image, 32, 4);
  const std::size_t palette = 4 * std::size_t(used ? used : DWORD(PaletteEntries(bitCount)));
  if (w <= 0 || h <= 0 || bitCount <= 0 || palette > 4 * 256) RaiseOutOfResources();
  const std::size_t colorBits = std::size_t(BytesPerScanline(w, bitCount)) * std::size_t(h);
  const std::size_t maskBits = std::size_t(BytesPerScanline(w, 1)) * std::size_t(h);
  const std::size_t bitsAt = headerSize + palette;
  if (bitsAt + colorBits + maskBits > Image.size()) RaiseOutOfResources();

  std::string colorInfo = Image.substr(0, bitsAt);
  PutLittleEndian(colorInfo, 8, DWORD(h), 4);
  std::unique_ptr<TBitmap> color = BitmapFrom(colorInfo, Image.substr(bitsAt, colorBits));
  std::string maskInfo(40 + 8, '\0');
  PutLittleEndian(maskInfo, 0, 40, 4);
  PutLittleEndian(maskInfo, 4, DWORD(w), 4);
  PutLittleEndian(maskInfo, 8, DWORD(h), 4);
  PutLittleEndian(maskInfo, 12, 1, 2);
  PutLittleEndian(maskInfo, 14, 1, 2);
  PutLittleEndian(maskInfo, 32, 2, 4);
  PutLittleEndian(maskInfo, 44, 0xFFFFFF, 4);  // black, then white
  std::unique_ptr<TBitmap> mask = BitmapFrom(maskInfo, Image.substr(bitsAt + colorBits, maskBits));
  auto icon = std::make_unique<TIcon>();
  icon->SetBitmaps(color.get(), mask.get());
  return icon;
}

}  // namespace

void RaiseOutOfResources() {
  throw EOutOfResources(ResStr(SOutOfResources));
}

void MeasureIcon(TIcon* Icon, Integer& Width, Integer& Height) {
  const bool none = !Icon || Icon->Empty();
  Width = none ? GetSystemMetrics(SM_CXICON) : Icon->Width();
  Height = none ? GetSystemMetrics(SM_CYICON) : Icon->Height();
}

std::unique_ptr<TIcon> CopyIconNativeSize(TIcon* Icon) {
  if (!Icon) return LoadApplicationIcon();
  const std::string stream = Icon->SaveToBytes();
  const Word type = Word(Get(stream, 2, 2)), count = Word(Get(stream, 4, 2));
  if (type == 0) return LoadApplicationIcon();
  if (type != 1) {
    auto copy = std::make_unique<TIcon>();
    copy->Assign(Icon);
    return copy;
  }
  HDC screen = GetDC(0);
  if (!screen) RaiseOutOfResources();
  const int bits = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(0, screen);
  const std::vector<TIconDirEntry> entries = ReadDirectory(stream, count);
  if (entries.empty()) RaiseOutOfResources();
  const TIconDirEntry& entry = entries[ChooseEntry(entries, bits)];
  if (std::size_t(entry.ImageOffset) + entry.BytesInRes > stream.size()) RaiseOutOfResources();
  return IconFromImage(stream.substr(entry.ImageOffset, entry.BytesInRes));
}
