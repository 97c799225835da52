// The artwork's GIF encoder, checked by decoding its output with Qt's own
// GIF reader: frames, delays, looping, exact colours, transparency, the LZW
// code table filling up and starting afresh, palette reduction, and input it
// must refuse.
#include "tool/artwork/gif_writer.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <QSet>
#include <random>

namespace artwork {
namespace {

struct Decoded {
  int loopCount = 0;
  QVector<QImage> frames;
  QVector<int> delaysMs;
};

Decoded Decode(const QByteArray& data) {
  QBuffer buffer;
  buffer.setData(data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "gif");
  Decoded decoded;
  decoded.loopCount = reader.loopCount();
  for (QImage frame = reader.read(); !frame.isNull(); frame = reader.read()) {
    decoded.frames.append(frame.convertToFormat(QImage::Format_ARGB32));
    decoded.delaysMs.append(reader.nextImageDelay());
  }
  return decoded;
}

QImage Filled(int width, int height, QRgb colour) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(colour);
  return image;
}

// Counts the pixels that differ; a broken code stream garbles everything
// after it, so one count says more than the first mismatch.
int DifferingPixels(const QImage& expected, const QImage& actual) {
  if (expected.size() != actual.size()) return expected.width() * expected.height();
  int differing = 0;
  for (int y = 0; y < expected.height(); ++y) {
    for (int x = 0; x < expected.width(); ++x) differing += expected.pixel(x, y) != actual.pixel(x, y) ? 1 : 0;
  }
  return differing;
}

QImage Noise(int side, int colours, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pick(0, colours - 1);
  QImage image(side, side, QImage::Format_ARGB32);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const int c = pick(random);
      image.setPixel(x, y, qRgb(c, (c * 37) & 0xFF, 255 - c));
    }
  }
  return image;
}

TEST(GifWriter, FramesDelaysLoopingAndColoursSurviveADecode) {
  QVector<GifFrame> frames;
  const QRgb colours[3] = {qRgb(0x7B, 0xA9, 0x15), qRgb(0xB9, 0x19, 0x19), qRgb(0x3B, 0xA0, 0xFF)};
  const int delays[3] = {50, 120, 1000};
  for (int f = 0; f < 3; ++f) {
    QImage image = Filled(17, 11, qRgb(0x1B, 0x21, 0x24));
    for (int x = 0; x < 17; ++x) image.setPixel(x, (x + f * 3) % 11, colours[f]);
    image.setPixel(16, 10, qRgb(255, 255, 255));
    frames.append({image, delays[f]});
  }
  const QByteArray gif = EncodeGif(frames);
  ASSERT_TRUE(gif.startsWith("GIF89a"));
  EXPECT_TRUE(gif.contains("NETSCAPE2.0"));

  const Decoded decoded = Decode(gif);
  ASSERT_EQ(decoded.frames.size(), 3);
  EXPECT_EQ(decoded.loopCount, -1) << "Qt reports looping for ever as -1";
  for (int f = 0; f < 3; ++f) {
    EXPECT_EQ(decoded.delaysMs[f], delays[f]) << "frame " << f;
    EXPECT_EQ(DifferingPixels(frames[f].image, decoded.frames[f]), 0) << "frame " << f;
  }

  GifOptions threeTimes;
  threeTimes.loopCount = 3;
  EXPECT_EQ(Decode(EncodeGif(frames, threeTimes)).loopCount, 3);

  // Delays below what viewers honour are raised, not dropped to zero.
  frames = {{frames[0].image, 0}, {frames[1].image, 0}};
  EXPECT_EQ(Decode(EncodeGif(frames)).delaysMs, QVector<int>({20, 20}));
}

TEST(GifWriter, TransparentPixelsStayTransparentAndEdgesBlendOverTheMatte) {
  GifOptions options;
  options.matte = QColor(0x10, 0x20, 0x30);
  QImage first = Filled(8, 8, qRgba(0, 0, 0, 0));
  first.setPixel(1, 1, qRgba(0xF0, 0x80, 0x00, 128));                    // an antialiased edge
  first.setPixel(2, 2, qRgba(0xFF, 0xFF, 0xFF, kTransparentBelow - 1));  // too faint to keep
  first.setPixel(3, 3, qRgb(0xA6, 0xD9, 0x2E));
  const QImage second = Filled(8, 8, qRgb(0xA6, 0xD9, 0x2E));
  const Decoded decoded = Decode(EncodeGif({{first, 100}, {second, 100}, {first, 100}}, options));
  ASSERT_EQ(decoded.frames.size(), 3);

  const QImage& out = decoded.frames[0];
  EXPECT_EQ(qAlpha(out.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(out.pixel(2, 2)), 0);
  EXPECT_EQ(out.pixel(3, 3), qRgb(0xA6, 0xD9, 0x2E));
  const QRgb edge = out.pixel(1, 1);
  EXPECT_EQ(qAlpha(edge), 255);
  EXPECT_NEAR(qRed(edge), (0xF0 * 128 + 0x10 * 127) / 255, 1);
  EXPECT_NEAR(qGreen(edge), (0x80 * 128 + 0x20 * 127) / 255, 1);
  EXPECT_NEAR(qBlue(edge), (0x00 * 128 + 0x30 * 127) / 255, 1);

  // The opaque second frame must not show through the third one's
  // transparent pixels: each frame is disposed of before the next.
  EXPECT_EQ(DifferingPixels(second, decoded.frames[1]), 0);
  EXPECT_EQ(qAlpha(decoded.frames[2].pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(decoded.frames[2].pixel(6, 6)), 0);
}

TEST(GifWriter, NoiseFillsTheCodeTableAndStartsItAfreshWithoutLosingAPixel) {
  // 255 colours: eight-bit indices, the table full after a few thousand
  // codes, many times per frame. Two and five colours: the narrowest codes,
  // widened from three bits up to twelve.
  for (const int colours : {255, 2, 5}) {
    SCOPED_TRACE(colours);
    const QVector<GifFrame> frames = {{Noise(160, colours, 1), 100}, {Noise(160, colours, 2), 100}};
    const Decoded decoded = Decode(EncodeGif(frames));
    ASSERT_EQ(decoded.frames.size(), 2);
    EXPECT_EQ(DifferingPixels(frames[0].image, decoded.frames[0]), 0);
    EXPECT_EQ(DifferingPixels(frames[1].image, decoded.frames[1]), 0);
  }
  // One colour: long runs make ever longer strings, nothing else.
  const QImage plain = Filled(300, 300, qRgb(9, 8, 7));
  const Decoded decoded = Decode(EncodeGif({{plain, 100}}));
  ASSERT_EQ(decoded.frames.size(), 1);
  EXPECT_EQ(DifferingPixels(plain, decoded.frames[0]), 0);
}

TEST(GifWriter, MoreColoursThanAPaletteHoldsAreReducedToNearbyOnes) {
  QImage gradient(64, 64, QImage::Format_ARGB32);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) gradient.setPixel(x, y, qRgb(x * 4, y * 4, (x + y) * 2));
  }
  const Decoded decoded = Decode(EncodeGif({{gradient, 100}}));
  ASSERT_EQ(decoded.frames.size(), 1);
  QSet<QRgb> used;
  int worst = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const QRgb in = gradient.pixel(x, y);
      const QRgb out = decoded.frames[0].pixel(x, y);
      used.insert(out);
      worst = std::max({worst, std::abs(qRed(in) - qRed(out)), std::abs(qGreen(in) - qGreen(out)),
                        std::abs(qBlue(in) - qBlue(out))});
    }
  }
  EXPECT_LE(used.size(), 256);
  EXPECT_GT(used.size(), 200) << "the palette should be used, not collapsed";
  EXPECT_LE(worst, 24);
}

TEST(GifWriter, RefusesFramesItCannotEncode) {
  EXPECT_TRUE(EncodeGif({}).isEmpty());
  EXPECT_TRUE(EncodeGif({{QImage(), 100}}).isEmpty());
  EXPECT_TRUE(EncodeGif({{Filled(8, 8, qRgb(1, 2, 3)), 100}, {Filled(8, 9, qRgb(1, 2, 3)), 100}}).isEmpty());
  EXPECT_TRUE(EncodeGif({{Filled(0x10000, 1, qRgb(1, 2, 3)), 100}}).isEmpty());
}

}  // namespace
}  // namespace artwork
