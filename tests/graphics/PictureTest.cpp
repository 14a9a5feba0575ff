// The picture model and its decoders: each format to the right size and
// colours whatever the file is called, damaged files refused without losing
// the picture held, and BMP headers that lie about their data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "kwinet/core/Forms.h"
#include "kwinet/graphics/BmpReader.h"
#include "kwinet/graphics/PictureLoader.h"
#include "peers/PictureFiles.h"
#include "peers/TestSupport.h"

using namespace kwinet;
using kwinet::test::QuadrantColor;
using kwinet::test::TempDir;
using kwinet::test::WriteFileBytes;

namespace {

// Channels within Tolerance of each other (JPEG is lossy).
::testing::AssertionResult Near(std::uint32_t got, std::uint32_t want, int tolerance) {
  for (int shift : {0, 8, 16, 24}) {
    const int a = (got >> shift) & 255, b = (want >> shift) & 255;
    if (std::abs(a - b) > tolerance)
      return ::testing::AssertionFailure() << std::hex << "0x" << got << " is not near 0x" << want;
  }
  return ::testing::AssertionSuccess();
}

// A BMP file from its parts; the offsets are worked out here.
struct TBmp {
  std::int32_t Width = 0, Height = 0;
  std::uint16_t Bpp = 24;
  std::uint32_t Compression = 0;
  std::uint32_t HeaderSize = 40;
  std::uint32_t ColorsUsed = 0;
  std::vector<std::uint32_t> Palette;  // 0x00RRGGBB
  std::vector<std::uint32_t> Masks;    // after a 40-byte header, inside a longer one
  std::string Bits;

  std::string Bytes() const {
    std::string h;
    auto put = [&](std::uint32_t v, int bytes) {
      for (int i = 0; i < bytes; ++i) h.push_back(static_cast<char>(v >> (8 * i)));
    };
    put(HeaderSize, 4);
    if (HeaderSize == 12) {
      put(static_cast<std::uint32_t>(Width), 2), put(static_cast<std::uint32_t>(Height), 2), put(1, 2), put(Bpp, 2);
    } else {
      put(static_cast<std::uint32_t>(Width), 4), put(static_cast<std::uint32_t>(Height), 4), put(1, 2), put(Bpp, 2);
      put(Compression, 4), put(static_cast<std::uint32_t>(Bits.size()), 4), put(2835, 4), put(2835, 4);
      put(ColorsUsed, 4), put(0, 4);
      for (std::uint32_t m : Masks) put(m, 4);
      h.resize(std::max<std::size_t>(h.size(), HeaderSize), '\0');
    }
    for (std::uint32_t c : Palette) put(c, HeaderSize == 12 ? 3 : 4);
    std::string file = "BM";
    const auto offBits = static_cast<std::uint32_t>(14 + h.size());
    const std::uint32_t size = offBits + static_cast<std::uint32_t>(Bits.size());
    for (std::uint32_t v : {size, 0u, offBits})
      for (int i = 0; i < 4; ++i) file.push_back(static_cast<char>(v >> (8 * i)));
    return file + h + Bits;
  }
};

std::string Hex(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

TPixelImage ReadOk(const std::string& bmp) {
  TPixelImage image;
  String error;
  EXPECT_TRUE(ReadBmp(bmp, image, error)) << StringToUtf8(error);
  return image;
}

const std::vector<std::uint32_t> kFour = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF,
                        kBlack = 0xFF000000;

}  // namespace

TEST(Picture, EachFormatIsReadByItsContentToTheRightSizeAndColours) {
  TempDir dir;
  struct Case {
    const char* name;  // the extension lies on purpose
    std::string bytes;
    TPictureFormat format;
    int width, height, tolerance;
  } cases[] = {
      {"png.jpg", test::MakePng(37, 23), pfPNG, 37, 23, 0},
      {"jpeg.gif", test::MakeJpeg(40, 32), pfJPEG, 40, 32, 12},
      {"cmyk.jpg", test::MakeJpeg(24, 16, true), pfJPEG, 24, 16, 12},
      {"gif.bmp", test::MakeGif(33, 17), pfGIF, 33, 17, 0},
      {"interlaced.gif", test::MakeGif(20, 21, true), pfGIF, 20, 21, 0},
      {"bmp", test::MakeBmp(31, 19), pfBMP, 31, 19, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(dir.File(c.name), c.bytes);
    TPicture p;
    int changes = 0;
    p.OnChange = [&](TObject*) { ++changes; };
    LoadPictureFromFile(p, Utf8ToString(dir.File(c.name)));
    EXPECT_EQ(p.Format(), c.format);
    EXPECT_EQ(p.Width(), c.width);
    EXPECT_EQ(p.Height(), c.height);
    EXPECT_EQ(p.Pixels().size(), std::size_t(c.width) * c.height);
    EXPECT_EQ(changes, 1);
    // One pixel inside each quadrant, away from the edges JPEG blurs.
    for (auto [x, y] : {std::pair{2, 2}, {c.width - 3, 2}, {2, c.height - 3}, {c.width - 3, c.height - 3}})
      EXPECT_TRUE(Near(p.Pixel(x, y), QuadrantColor(x, y, c.width, c.height), c.tolerance)) << x << "," << y;
  }
  EXPECT_EQ(PictureFormatName(pfJPEG), u"JPEG");
}

TEST(Picture, DamagedFilesRaiseAndKeepThePicture) {
  TempDir dir;
  const std::string png = test::MakePng(16, 8), jpeg = test::MakeJpeg(64, 48), gif = test::MakeGif(30, 30);
  const std::string bmp = test::MakeBmp(10, 10);
  std::string badCrc = png;
  badCrc[png.find("IDAT") + 6] ^= 0x55;  // inside the image data: its checksum no longer holds
  struct Case {
    const char* what;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"empty", "", "empty"},
      {"text", "<html>not a picture</html>", "not a PNG, JPEG, GIF or BMP"},
      {"png cut short", png.substr(0, png.size() / 2), "PNG"},
      {"png with a bad checksum", badCrc, "PNG"},
      {"jpeg cut short", jpeg.substr(0, jpeg.size() / 2), "JPEG"},
      {"jpeg header only", jpeg.substr(0, 20), "JPEG"},
      {"gif cut short", gif.substr(0, gif.size() - 12), "GIF"},
      {"bmp cut short", bmp.substr(0, bmp.size() - 5), "truncated BMP"},
  };
  TPicture p;
  WriteFileBytes(dir.File("good"), test::MakeGif(7, 5));
  LoadPictureFromFile(p, Utf8ToString(dir.File("good")));
  int changes = 0;
  p.OnChange = [&](TObject*) { ++changes; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(dir.File("bad.png"), c.bytes);
    try {
      LoadPictureFromFile(p, Utf8ToString(dir.File("bad.png")));
      ADD_FAILURE() << "no exception";
    } catch (const EInvalidGraphic& e) {
      const std::string message = StringToUtf8(e.Message());
      EXPECT_NE(message.find(dir.File("bad.png")), std::string::npos) << message;
      EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    }
    EXPECT_THROW(LoadPictureFromBytes(p, c.bytes), EInvalidGraphic);
    EXPECT_EQ(p.Format(), pfGIF);
    EXPECT_EQ(p.Width(), 7);
    EXPECT_EQ(p.Height(), 5);
  }
  EXPECT_EQ(changes, 0);
  EXPECT_THROW(LoadPictureFromFile(p, Utf8ToString(dir.File("missing.png"))), EFOpenError);
  EXPECT_EQ(p.Width(), 7);
}

TEST(Picture, AssignClearAndTheImageControl) {
  TempDir dir;
  WriteFileBytes(dir.File("a"), test::MakePng(12, 9));
  TPicture a, b;
  LoadPictureFromFile(a, Utf8ToString(dir.File("a")));
  b.Assign(&a);
  EXPECT_EQ(b.Pixels(), a.Pixels());
  EXPECT_EQ(b.Format(), pfPNG);
  b.Assign(nullptr);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Pixel(0, 0), 0u);
  EXPECT_EQ(a.Pixel(-1, 0), 0u);
  EXPECT_EQ(a.Pixel(12, 0), 0u);

  // An autosized image control takes the size of the picture it is given;
  // the resource name that the dialogs use is a separate thing.
  TCustomForm form(nullptr);
  auto* image = new TImage(&form);
  image->SetAutoSize(true);
  image->SetPicture(u"key.png");
  LoadPictureFromFile(*image->Graphic(), Utf8ToString(dir.File("a")));
  EXPECT_EQ(image->Width(), 12);
  EXPECT_EQ(image->Height(), 9);
  EXPECT_EQ(image->Picture(), u"key.png");
}

// A file of a few hundred bytes whose header declares 8192 x 4096 pixels (the
// most that is decoded at all) is refused before those 128 MiB are taken:
// its data cannot hold them.
TEST(Picture, TinyFilesThatDeclareHugePicturesAreRefused) {
  auto be = [](std::string& s, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s[at + i] = static_cast<char>(v >> (8 * (bytes - 1 - i)));
  };
  std::string gifScreen = test::MakeGif(1, 1);
  gifScreen[6] = 0, gifScreen[7] = 0x20, gifScreen[8] = 0, gifScreen[9] = 0x10;  // 8192 x 4096, a 1 x 1 frame
  std::string png = test::MakePng(1, 1);
  be(png, 16, 8192, 4), be(png, 20, 4096, 4);
  std::uint32_t crc = 0xFFFFFFFF;  // the header chunk's checksum over its type and data
  for (std::size_t i = 12; i < 29; ++i) {
    crc ^= std::uint8_t(png[i]);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  be(png, 29, ~crc, 4);
  std::string jpeg = test::MakeJpeg(8, 8);
  const std::size_t sof = jpeg.find("\xFF\xC0");
  be(jpeg, sof + 5, 4096, 2), be(jpeg, sof + 7, 8192, 2);
  struct Case {
    const char* what;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"RLE BMP that ends at once", TBmp{8192, 4096, 8, 1, 40, 1, {0}, {}, Hex({0, 1})}.Bytes(), "BMP declares more"},
      {"GIF with a vast screen", gifScreen, "GIF: the file declares more"},
      {"PNG", png, "PNG: the file declares more"},
      {"JPEG", jpeg, "JPEG: the file declares more"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_LT(c.bytes.size(), 1000u);
    TPixelImage image;
    TPictureFormat format = pfNone;
    String error;
    EXPECT_FALSE(DecodePicture(c.bytes, format, image, error));
    EXPECT_NE(StringToUtf8(error).find(c.reason), std::string::npos) << StringToUtf8(error);
    EXPECT_TRUE(image.Pixels.empty());
  }
}

// A progressive JPEG is decoded in as many passes as it has scans; a file
// with more than the format needs is refused, an ordinary one is read.
TEST(Picture, JpegScansAreBoundedByWhatTheFormatNeeds) {
  TPixelImage image;
  TPictureFormat format = pfNone;
  String error;
  ASSERT_TRUE(DecodePicture(test::MakeProgressiveJpeg(32, 16, 3), format, image, error)) << StringToUtf8(error);
  EXPECT_EQ(image.Width, 32);
  EXPECT_TRUE(Near(image.Pixels[0], kRed, 12));
  EXPECT_TRUE(DecodePicture(test::MakeProgressiveJpeg(32, 16, 15), format, image, error)) << StringToUtf8(error);
  EXPECT_FALSE(DecodePicture(test::MakeProgressiveJpeg(32, 16, 21), format, image, error));  // 64 scans
  EXPECT_EQ(StringToUtf8(error), "JPEG: too many scans");
}

TEST(Picture, GifTransparencyAndItsLogicalScreen) {
  TPixelImage image;
  TPictureFormat format = pfNone;
  String error;
  ASSERT_TRUE(DecodePicture(test::MakeGif(6, 4, false, true), format, image, error)) << StringToUtf8(error);
  EXPECT_EQ(image.Pixels[0], 0u);  // the transparent colour
  EXPECT_EQ(image.Pixels[6], kRed);
}

TEST(BmpReader, EveryLayoutComesOutTopRowFirst) {
  // Two rows of two pixels: red, green above blue, white.
  struct Case {
    const char* what;
    TBmp bmp;
  } cases[] = {
      {"24 bits bottom-up",
       {2, 2, 24, 0, 40, 0, {}, {}, Hex({255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0})}},
      {"24 bits top-down",
       {2, -2, 24, 0, 40, 0, {}, {}, Hex({0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0})}},
      {"4 bits", {2, 2, 4, 0, 40, 4, kFour, {}, Hex({0x23, 0, 0, 0, 0x01, 0, 0, 0})}},
      {"8 bits", {2, 2, 8, 0, 40, 4, kFour, {}, Hex({2, 3, 0, 0, 0, 1, 0, 0})}},
      {"OS/2 core header", {2, 2, 8, 0, 12, 0, kFour, {}, Hex({2, 3, 0, 0, 0, 1, 0, 0})}},
      {"RLE8", {2, 2, 8, 1, 40, 4, kFour, {}, Hex({1, 2, 1, 3, 0, 0, 1, 0, 1, 1, 0, 1})}},
      {"RLE4 literal", {2, 2, 4, 2, 40, 4, kFour, {}, Hex({2, 0x23, 0, 0, 0, 3, 0x01, 0x00, 0, 0, 0, 1})}},
      {"16 bits 5-5-5", {2, 2, 16, 0, 40, 0, {}, {}, Hex({0x1F, 0, 0xFF, 0x7F, 0, 0x7C, 0xE0, 0x03})}},
      {"16 bits 5-6-5 fields",
       {2, 2, 16, 3, 40, 0, {}, {0xF800, 0x07E0, 0x001F}, Hex({0x1F, 0, 0xFF, 0xFF, 0, 0xF8, 0xE0, 0x07})}},
      {"32 bits with an alpha field",
       {2,
        2,
        32,
        3,
        108,
        0,
        {},
        {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
        Hex({255, 0, 0, 255, 255, 255, 255, 255, 0, 0, 255, 255, 0, 255, 0, 255})}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TBmp bmp = c.bmp;
    if (bmp.HeaderSize == 12) bmp.Palette.resize(256);  // the old header always has a full palette
    const TPixelImage image = ReadOk(bmp.Bytes());
    ASSERT_EQ(image.Width, 2);
    ASSERT_EQ(image.Height, 2);
    EXPECT_EQ(image.Pixels, (std::vector<std::uint32_t>{kRed, kGreen, kBlue, kWhite}));
  }
}

TEST(BmpReader, OneBitPixelsRunHighBitFirstAcrossBytes) {
  TBmp bmp{10, 1, 1, 0, 40, 0, {0x000000, 0xFFFFFF}, {}, Hex({0xA0, 0x40, 0, 0})};
  EXPECT_EQ(ReadOk(bmp.Bytes()).Pixels, (std::vector<std::uint32_t>{kWhite, kBlack, kWhite, kBlack, kBlack, kBlack,
                                                                    kBlack, kBlack, kBlack, kWhite}));
}

TEST(BmpReader, RunsThatLeaveThePictureAreClippedAndGapsStayTransparent) {
  TBmp bmp{3, 2, 8, 1, 40, 2, {0x000000, 0xFFFFFF}, {}, {}};
  // A run longer than the row, a move past the right edge, a literal that
  // starts outside, then the end.
  bmp.Bits = Hex({200, 1, 0, 0, 0, 2, 9, 0, 0, 3, 1, 1, 1, 0, 0, 1});
  const TPixelImage image = ReadOk(bmp.Bytes());
  EXPECT_EQ(image.Pixels, (std::vector<std::uint32_t>{0, 0, 0, kWhite, kWhite, kWhite}));
  bmp.Bits = Hex({1, 0, 0, 1});  // ends at once: the rest is left transparent
  EXPECT_EQ(ReadOk(bmp.Bytes()).Pixels, (std::vector<std::uint32_t>{0, 0, 0, kBlack, 0, 0}));
}

TEST(BmpReader, MasksAreReadOnlyFromInsideTheHeader) {
  // A 53-byte header with alpha bit fields: room for three masks, not four
  // (found by fuzzing: the fourth was read past the end of the data).
  const std::string bytes =
      Hex({0x42, 0x4d, 0x0b, 0x21, 0x42, 0x4d, 0x0a, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x35, 0x00, 0x00,
           0x00, 0x28, 0x00, 0x00, 0x00, 0x5b, 0x01, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x06, 0x00, 0x00, 0x00,
           0x01, 0x00, 0x00, 0x26, 0x26, 0x00, 0x00, 0x00, 0x01, 0x00, 0x61, 0x00, 0x00, 0x5b, 0x01, 0x20, 0xbf,
           0xff, 0x2c, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0x2c, 0xbf, 0x00, 0x2c, 0x2a, 0x00, 0x71, 0x0a});
  ASSERT_EQ(bytes.size(), 67u);
  // In a buffer of exactly its size, so that a read past it is seen.
  const auto exact = std::make_unique<char[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), exact.get());
  TPixelImage image;
  String error;
  EXPECT_FALSE(ReadBmp(std::string_view(exact.get(), bytes.size()), image, error));
  EXPECT_EQ(StringToUtf8(error), "truncated BMP data");
}

TEST(BmpReader, LyingHeadersAreRefusedWithoutAllocating) {
  auto with = [](auto change) {
    TBmp bmp{2, 2, 24, 0, 40, 0, {}, {}, std::string(16, '\0')};
    change(bmp);
    return bmp.Bytes();
  };
  std::string offBitsPastEnd = with([](TBmp&) {});
  offBitsPastEnd[10] = '\xFF', offBitsPastEnd[11] = '\xFF';
  struct Case {
    const char* what;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"a 2-billion-pixel-wide row", with([](TBmp& b) { b.Width = 0x7FFFFFFF; }), "too large"},
      {"30000 x 30000", with([](TBmp& b) { b.Width = b.Height = 30000; }), "too large"},
      {"RLE 30000 x 30000",
       with([](TBmp& b) { b.Width = b.Height = 30000, b.Bpp = 8, b.Compression = 1, b.Palette = {0}; }), "too large"},
      {"the lowest height", with([](TBmp& b) { b.Height = INT32_MIN; }), "too large"},
      {"no width", with([](TBmp& b) { b.Width = 0; }), "no pixels"},
      {"a negative width", with([](TBmp& b) { b.Width = -5; }), "no pixels"},
      {"more rows than data", with([](TBmp& b) { b.Height = 3000; }), "truncated BMP data"},
      {"data past the end", offBitsPastEnd, "truncated BMP data"},
      {"a palette past the end", with([](TBmp& b) { b.Bpp = 8, b.Bits.clear(); }), "truncated BMP palette"},
      {"7 bits a pixel", with([](TBmp& b) { b.Bpp = 7; }), "bit depth"},
      {"JPEG inside", with([](TBmp& b) { b.Compression = 4; }), "compression"},
      {"RLE8 with 4 bits", with([](TBmp& b) { b.Compression = 1, b.Bpp = 4, b.Palette.resize(16); }), "RLE8"},
      {"RLE ending early", with([](TBmp& b) {
         b.Compression = 1, b.Bpp = 8, b.ColorsUsed = 1, b.Palette = {0}, b.Bits = Hex({0, 5, 1});
       }),
       "truncated BMP data"},
      {"a header of 64 KiB", with([](TBmp& b) { b.HeaderSize = 65536; }), "header"},
      {"just the signature", "BM", "not a BMP"},
  };
  const long long before = test::HeapInUse();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TPixelImage image;
    image.Width = 1;
    String error;
    EXPECT_FALSE(ReadBmp(c.bytes, image, error));
    EXPECT_NE(StringToUtf8(error).find(c.reason), std::string::npos) << StringToUtf8(error);
    EXPECT_EQ(image.Width, 1);  // untouched
  }
  EXPECT_LT(test::HeapInUse() - before, 1 << 20);
}
