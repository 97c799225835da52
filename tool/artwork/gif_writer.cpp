#include "tool/artwork/gif_writer.h"

#include <QHash>
#include <algorithm>

namespace artwork {

namespace {

constexpr int kTransparent = 255;  // palette index of transparent pixels

void Word(QByteArray& out, int value) {
  out.append(char(value & 0xFF));
  out.append(char((value >> 8) & 0xFF));
}

// LZW codes packed least significant bit first into 255-byte sub-blocks.
class CodeWriter {
 public:
  explicit CodeWriter(QByteArray& out) : out_(out) {}
  void Put(int code, int width) {
    bits_ |= uint32_t(code) << count_;
    count_ += width;
    while (count_ >= 8) {
      Byte(uint8_t(bits_ & 0xFF));
      bits_ >>= 8;
      count_ -= 8;
    }
  }
  void Finish() {
    if (count_ > 0) Byte(uint8_t(bits_ & 0xFF));
    Flush();
    out_.append(char(0));  // block terminator
  }

 private:
  void Byte(uint8_t b) {
    block_.append(char(b));
    if (block_.size() == 255) Flush();
  }
  void Flush() {
    if (block_.isEmpty()) return;
    out_.append(char(block_.size()));
    out_.append(block_);
    block_.clear();
  }
  QByteArray& out_;
  QByteArray block_;
  uint32_t bits_ = 0;
  int count_ = 0;
};

void Lzw(QByteArray& out, const QByteArray& indices) {
  constexpr int kMinCodeSize = 8;
  const int clear = 1 << kMinCodeSize;
  const int end = clear + 1;
  out.append(char(kMinCodeSize));
  CodeWriter writer(out);
  QHash<uint32_t, int> table;
  int next = end + 1;
  int width = kMinCodeSize + 1;
  writer.Put(clear, width);
  int prefix = -1;
  for (char c : indices) {
    const int k = uint8_t(c);
    if (prefix < 0) {
      prefix = k;
      continue;
    }
    const uint32_t key = (uint32_t(prefix) << 8) | uint32_t(k);
    const auto found = table.constFind(key);
    if (found != table.constEnd()) {
      prefix = found.value();
      continue;
    }
    writer.Put(prefix, width);
    table.insert(key, next);
    // The decoder adds each code one step after us, so it widens exactly
    // when the code just added no longer fits the current width.
    if (next >= (1 << width)) ++width;
    if (next == 4095) {
      // Table full: start afresh.
      writer.Put(clear, width);
      table.clear();
      next = end + 1;
      width = kMinCodeSize + 1;
    } else {
      ++next;
    }
    prefix = k;
  }
  if (prefix >= 0) writer.Put(prefix, width);
  writer.Put(end, width);
  writer.Finish();
}

int Nearest(QRgb colour, const QVector<QRgb>& palette) {
  int best = 0;
  int bestDistance = INT32_MAX;
  for (int i = 0; i < palette.size(); ++i) {
    const int dr = qRed(colour) - qRed(palette[i]);
    const int dg = qGreen(colour) - qGreen(palette[i]);
    const int db = qBlue(colour) - qBlue(palette[i]);
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

}  // namespace

QByteArray EncodeGif(const QVector<GifFrame>& frames, QVector<QRgb> palette) {
  if (frames.isEmpty()) return {};
  const QSize size = frames.first().image.size();
  for (const GifFrame& frame : frames) {
    if (frame.image.size() != size) return {};
  }
  if (palette.isEmpty()) {
    for (const GifFrame& frame : frames) {
      const QImage image = frame.image.convertToFormat(QImage::Format_ARGB32);
      for (int y = 0; y < image.height() && palette.size() < kTransparent; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width() && palette.size() < kTransparent; ++x) {
          if (qAlpha(line[x]) < 128) continue;
          const QRgb opaque = qRgb(qRed(line[x]), qGreen(line[x]), qBlue(line[x]));
          if (!palette.contains(opaque)) palette.append(opaque);
        }
      }
    }
  }
  palette.resize(std::min(palette.size(), kTransparent));
  if (palette.isEmpty()) palette.append(qRgb(0, 0, 0));

  QByteArray out("GIF89a");
  Word(out, size.width());
  Word(out, size.height());
  out.append(char(0xF7));  // global colour table of 256 entries
  out.append(char(kTransparent));
  out.append(char(0));
  for (int i = 0; i < 256; ++i) {
    const QRgb c = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
    out.append(char(qRed(c)));
    out.append(char(qGreen(c)));
    out.append(char(qBlue(c)));
  }
  // Loop for ever.
  out.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
  Word(out, 0);
  out.append(char(0));

  for (const GifFrame& frame : frames) {
    out.append("\x21\xF9\x04", 3);
    out.append(char(0x09));  // restore to background, transparency on
    Word(out, std::max(1, frame.delayMs / 10));
    out.append(char(kTransparent));
    out.append(char(0));
    out.append(char(0x2C));
    Word(out, 0);
    Word(out, 0);
    Word(out, size.width());
    Word(out, size.height());
    out.append(char(0));
    const QImage image = frame.image.convertToFormat(QImage::Format_ARGB32);
    QByteArray indices;
    indices.reserve(size.width() * size.height());
    QHash<QRgb, int> cache;
    for (int y = 0; y < image.height(); ++y) {
      const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      for (int x = 0; x < image.width(); ++x) {
        if (qAlpha(line[x]) < 128) {
          indices.append(char(kTransparent));
          continue;
        }
        const QRgb opaque = qRgb(qRed(line[x]), qGreen(line[x]), qBlue(line[x]));
        auto it = cache.find(opaque);
        if (it == cache.end()) it = cache.insert(opaque, Nearest(opaque, palette));
        indices.append(char(it.value()));
      }
    }
    Lzw(out, indices);
  }
  out.append(char(0x3B));
  return out;
}

}  // namespace artwork
