#include "player/uSkin.h"

namespace {

void EnsureRegistered() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterSkinPictures();
}

bool IsJpeg(const void* Bytes, std::size_t Size) {
  auto* b = static_cast<const unsigned char*>(Bytes);
  return Size > 2 && b[0] == 0xFF && b[1] == 0xD8;
}

}  // namespace

void LoadSkinPicture(TImage* Image, const String& Name) {
  EnsureRegistered();
  const void* bytes = nullptr;
  std::size_t size = 0;
  if (!FindResourcePicture(Name, bytes, size))
    throw EResNotFound("Resource " + Name + " not found");
  if (IsJpeg(bytes, size)) {
    TJPEGImage jpeg;
    jpeg.LoadFromBytes(bytes, size, Name);
    Image->Picture()->SetGraphic(&jpeg);
  } else {
    TBitmap bitmap;
    bitmap.LoadFromBytes(bytes, size, Name);
    Image->Picture()->SetGraphic(&bitmap);
  }
}

void LoadSkinBitmap(TBitmap* Bitmap, const String& Name) {
  EnsureRegistered();
  Bitmap->LoadFromResourceName(nullptr, Name);
}

void LoadButtonFaces(TImageButton* Button, const String& Base) {
  TBitmap face;
  LoadSkinBitmap(&face, Base + "_O");
  Button->SetBitmapOver(&face);
  LoadSkinBitmap(&face, Base + "_D");
  Button->SetBitmapDown(&face);
  LoadSkinBitmap(&face, Base + "_U");
  Button->SetBitmapUp(&face);
  LoadSkinBitmap(&face, Base + "_N");
  Button->SetBitmap(&face);
}
