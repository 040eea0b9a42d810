// Pictures: BMP and JPEG files, bad files, pictures compiled into the program.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "GuiFixture.h"
#include "classlib/Graphics.h"
#include "support/TestSupport.h"

// After the platform's types: libjpeg defines TRUE and FALSE as macros.
#include <jpeglib.h>

namespace {

// A w x h JPEG: left half red, right half blue, at high quality.
std::string MakeJpeg(int w, int h) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = w;
  cinfo.image_height = h;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(w * 3);
  for (int x = 0; x < w; ++x) {
    bool left = x < w / 2;
    row[x * 3] = left ? 255 : 0;
    row[x * 3 + 1] = 0;
    row[x * 3 + 2] = left ? 0 : 255;
  }
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::string bytes(reinterpret_cast<char*>(out), size);
  jpeg_destroy_compress(&cinfo);
  free(out);
  return bytes;
}

bool Near(TColor a, TColor b, int tol = 24) {
  for (int shift = 0; shift < 24; shift += 8) {
    int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
    if (d < -tol || d > tol) return false;
  }
  return true;
}

// Runs f and answers the message of the EInvalidGraphic or EFOpenError it raises.
template <typename E, typename F>
std::string MessageOf(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return std::string("other exception: ") + e.what();
  }
  return "no exception";
}

class PictureTest : public GuiTest {
 protected:
  std::string dir = kaztest::MakeTempDir("pictures");
};

TEST_F(PictureTest, BitmapsRoundTripThroughBmpFiles) {
  TBitmap b;
  b.SetSize(4, 3);
  b.Canvas()->Brush()->SetColor(clTeal);
  b.Canvas()->FillRect(Rect(0, 0, 4, 3));
  b.Canvas()->SetPixels(3, 2, clRed);
  std::string path = dir + "/a.bmp";
  b.SaveToFile(path);
  TBitmap c;
  c.LoadFromFile(path);
  EXPECT_EQ(c.Width(), 4);
  EXPECT_EQ(c.Height(), 3);
  EXPECT_EQ(c.Canvas()->Pixels(0, 0), clTeal);
  EXPECT_EQ(c.Canvas()->Pixels(3, 2), clRed);

  // Assign copies: the copies are independent.
  TBitmap d;
  d.Assign(&c);
  c.Canvas()->SetPixels(0, 0, clBlack);
  EXPECT_EQ(d.Canvas()->Pixels(0, 0), clTeal);

  TPicture pic;
  pic.LoadFromFile(path);
  ASSERT_NE(dynamic_cast<TBitmap*>(pic.Graphic()), nullptr);
  EXPECT_EQ(pic.Width(), 4);
}

TEST_F(PictureTest, JpegFilesAreDecoded) {
  std::string path = dir + "/skin.jpg";
  kaztest::WriteFile(path, MakeJpeg(32, 16));
  TJPEGImage j;
  j.LoadFromFile(path);
  EXPECT_EQ(j.Width(), 32);
  EXPECT_EQ(j.Height(), 16);
  TBitmap b;
  b.Assign(&j);
  EXPECT_TRUE(Near(b.Canvas()->Pixels(2, 8), clRed)) << std::hex << b.Canvas()->Pixels(2, 8);
  EXPECT_TRUE(Near(b.Canvas()->Pixels(29, 8), clBlue)) << std::hex << b.Canvas()->Pixels(29, 8);

  // A picture chooses its kind by the content, whatever the name says.
  std::string odd = dir + "/skin.bmp";
  kaztest::WriteFile(odd, MakeJpeg(8, 8));
  TPicture pic;
  pic.LoadFromFile(odd);
  EXPECT_NE(dynamic_cast<TJPEGImage*>(pic.Graphic()), nullptr);
  EXPECT_EQ(pic.Width(), 8);
}

TEST_F(PictureTest, BadFilesRaiseTheLibrarysErrorWithTheFileName) {
  std::string missing = dir + "/missing.bmp";
  EXPECT_NE(MessageOf<EFOpenError>([&] { TBitmap().LoadFromFile(missing); }).find(missing),
            std::string::npos);

  std::string jpeg = MakeJpeg(16, 16);
  std::vector<std::pair<std::string, std::string>> bad = {
      {"empty.bmp", ""},
      {"text.bmp", "hello"},
      {"header.bmp", "BM" + std::string(60, '\xff')},
      {"short.bmp", std::string("BM\x36\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00", 14)},
  };
  for (auto& [name, bytes] : bad) {
    std::string path = dir + "/" + name;
    kaztest::WriteFile(path, bytes);
    std::string msg = MessageOf<EInvalidGraphic>([&] { TBitmap().LoadFromFile(path); });
    EXPECT_NE(msg.find(path), std::string::npos) << name << ": " << msg;
  }
  std::vector<std::pair<std::string, std::string>> badJpeg = {
      {"cut.jpg", jpeg.substr(0, jpeg.size() / 2)},
      {"head.jpg", jpeg.substr(0, 4)},
      {"noise.jpg", "\xff\xd8\xff" + std::string(200, '\x55')},
  };
  for (auto& [name, bytes] : badJpeg) {
    std::string path = dir + "/" + name;
    kaztest::WriteFile(path, bytes);
    std::string msg = MessageOf<EInvalidGraphic>([&] { TJPEGImage().LoadFromFile(path); });
    EXPECT_NE(msg.find(path), std::string::npos) << name << ": " << msg;
    msg = MessageOf<EInvalidGraphic>([&] { TPicture().LoadFromFile(path); });
    EXPECT_NE(msg.find(path), std::string::npos) << name << ": " << msg;
  }
}

TEST_F(PictureTest, PicturesCompiledIntoTheProgramLoadByName) {
  TBitmap b;
  b.SetSize(2, 2);
  b.Canvas()->SetPixels(1, 1, clMaroon);
  std::string path = dir + "/res.bmp";
  b.SaveToFile(path);
  static std::string bytes;
  bytes = kaztest::ReadFile(path);
  RegisterResourcePicture("RXSPINUP", bytes.data(), bytes.size());
  TBitmap r;
  r.LoadFromResourceName(nullptr, "rxSpinUp");
  EXPECT_EQ(r.Width(), 2);
  EXPECT_EQ(r.Canvas()->Pixels(1, 1), clMaroon);
  EXPECT_NE(MessageOf<EResNotFound>([&] {
              r.LoadFromResourceName(nullptr, "W95_NONE");
            }).find("W95_NONE"),
            std::string::npos);
}

TEST_F(PictureTest, MonochromeKeepsOnlyWhiteAndBlack) {
  TBitmap b;
  b.SetSize(3, 1);
  TCanvas* c = b.Canvas();
  c->SetPixels(0, 0, clWhite);
  c->SetPixels(1, 0, clSilver);
  c->SetPixels(2, 0, clRed);
  b.SetMonochrome(true);
  EXPECT_EQ(b.PixelFormat(), pf1bit);
  EXPECT_EQ(c->Pixels(0, 0), clWhite);
  EXPECT_EQ(c->Pixels(1, 0), clBlack);
  EXPECT_EQ(c->Pixels(2, 0), clBlack);
}

TEST_F(PictureTest, ImageListsDrawThroughTheirMask) {
  TImageList list(nullptr);
  list.SetWidth(2);
  list.SetHeight(1);
  TBitmap strip;
  strip.SetSize(4, 1);
  strip.Canvas()->SetPixels(0, 0, clRed);
  strip.Canvas()->SetPixels(1, 0, clFuchsia);
  strip.Canvas()->SetPixels(2, 0, clFuchsia);
  strip.Canvas()->SetPixels(3, 0, clBlue);
  EXPECT_EQ(list.AddMasked(&strip, clFuchsia), 0);
  EXPECT_EQ(list.Count(), 2);
  TBitmap target;
  target.SetSize(4, 1);
  list.Draw(target.Canvas(), 0, 0, 0);
  list.Draw(target.Canvas(), 2, 0, 1);
  EXPECT_EQ(target.Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(target.Canvas()->Pixels(1, 0), clWhite);
  EXPECT_EQ(target.Canvas()->Pixels(2, 0), clWhite);
  EXPECT_EQ(target.Canvas()->Pixels(3, 0), clBlue);
}

}  // namespace
