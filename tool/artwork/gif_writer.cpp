#include "tool/artwork/gif_writer.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace artwork {

namespace {

constexpr int kMaxColours = 256;
constexpr int kMaxSide = 0xFFFF;
constexpr int kMaxCodeWidth = 12;
constexpr int kCodeLimit = 1 << kMaxCodeWidth;  // codes are 0 .. 4095

void AppendWord(QByteArray& out, int value) {
  out.append(char(value & 0xFF));
  out.append(char((value >> 8) & 0xFF));
}

// A frame after blending: opaque colours, or a transparent pixel.
struct ResolvedFrame {
  QVector<QRgb> pixels;  // alpha 0: transparent, alpha 255: opaque colour
  int delayCs = 10;
};

QRgb Blend(QRgb pixel, const QColor& matte) {
  const int a = qAlpha(pixel);
  if (a < kTransparentBelow) return 0;
  const auto mix = [a](int over, int under) { return (over * a + under * (255 - a) + 127) / 255; };
  return qRgb(mix(qRed(pixel), matte.red()), mix(qGreen(pixel), matte.green()), mix(qBlue(pixel), matte.blue()));
}

struct ColourCount {
  QRgb colour;
  quint64 count;
};

int Channel(QRgb colour, int channel) {
  return channel == 0 ? qRed(colour) : channel == 1 ? qGreen(colour) : qBlue(colour);
}

// Median cut: the box with the widest channel range is split at the
// population median of that channel until there are enough boxes; each box
// becomes the population-weighted mean of its colours.
QVector<QRgb> MedianCut(QVector<ColourCount> colours, int wanted) {
  struct Box {
    int begin;
    int end;
  };
  const auto widest = [&colours](const Box& box, int* channelOut) {
    int best = -1;
    for (int channel = 0; channel < 3; ++channel) {
      int low = 255;
      int high = 0;
      for (int i = box.begin; i < box.end; ++i) {
        low = std::min(low, Channel(colours[i].colour, channel));
        high = std::max(high, Channel(colours[i].colour, channel));
      }
      if (high - low > best) {
        best = high - low;
        *channelOut = channel;
      }
    }
    return best;
  };
  QVector<Box> boxes{{0, int(colours.size())}};
  while (boxes.size() < wanted) {
    int chosen = -1;
    int chosenChannel = 0;
    int chosenRange = 0;
    for (int b = 0; b < boxes.size(); ++b) {
      if (boxes[b].end - boxes[b].begin < 2) continue;
      int channel = 0;
      const int range = widest(boxes[b], &channel);
      if (range > chosenRange) {
        chosen = b;
        chosenRange = range;
        chosenChannel = channel;
      }
    }
    if (chosen < 0) break;  // every box holds one colour
    Box& box = boxes[chosen];
    std::sort(colours.begin() + box.begin, colours.begin() + box.end,
              [chosenChannel](const ColourCount& a, const ColourCount& b) {
                return Channel(a.colour, chosenChannel) < Channel(b.colour, chosenChannel);
              });
    quint64 total = 0;
    for (int i = box.begin; i < box.end; ++i) total += colours[i].count;
    quint64 running = 0;
    int split = box.begin + 1;
    for (int i = box.begin; i < box.end - 1; ++i) {
      running += colours[i].count;
      split = i + 1;
      if (running * 2 >= total) break;
    }
    const Box upper{split, box.end};
    box.end = split;
    boxes.append(upper);
  }
  QVector<QRgb> palette;
  for (const Box& box : boxes) {
    quint64 sum[3] = {0, 0, 0};
    quint64 count = 0;
    for (int i = box.begin; i < box.end; ++i) {
      for (int channel = 0; channel < 3; ++channel) {
        sum[channel] += quint64(Channel(colours[i].colour, channel)) * colours[i].count;
      }
      count += colours[i].count;
    }
    const auto mean = [count](quint64 s) { return int((s + count / 2) / count); };
    palette.append(qRgb(mean(sum[0]), mean(sum[1]), mean(sum[2])));
  }
  return palette;
}

int Nearest(QRgb colour, const QVector<QRgb>& palette) {
  int best = 0;
  int bestDistance = std::numeric_limits<int>::max();
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

// Variable-width codes packed least significant bit first, in data
// sub-blocks of at most 255 bytes.
class CodePacker {
 public:
  explicit CodePacker(QByteArray& out) : out_(out) {}

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
    bits_ = 0;
    count_ = 0;
    Flush();
    out_.append(char(0));  // block terminator
  }

 private:
  void Byte(uint8_t value) {
    block_[size_t(used_++)] = value;
    if (used_ == int(block_.size())) Flush();
  }

  void Flush() {
    if (used_ == 0) return;
    out_.append(char(used_));
    out_.append(reinterpret_cast<const char*>(block_.data()), used_);
    used_ = 0;
  }

  QByteArray& out_;
  std::array<uint8_t, 255> block_{};
  int used_ = 0;
  uint32_t bits_ = 0;
  int count_ = 0;
};

// The decoder builds its table one code behind the encoder: it adds the
// entry for a code only when it reads the next one. So the encoder widens
// its codes as soon as the entry it has just added needs the wider width,
// and when the table is full it sends a clear code right after the code
// that made the decoder fill its last entry.
void Compress(QByteArray& out, const QVector<uint8_t>& indices, int minCodeSize) {
  const int clear = 1 << minCodeSize;
  const int end = clear + 1;
  out.append(char(minCodeSize));
  CodePacker packer(out);
  QHash<uint32_t, int> table;
  table.reserve(kCodeLimit);
  int width = minCodeSize + 1;
  int next = end + 1;
  packer.Put(clear, width);
  int prefix = indices.front();
  for (int i = 1; i < indices.size(); ++i) {
    const int k = indices[i];
    const uint32_t key = (uint32_t(prefix) << 8) | uint32_t(k);
    const auto found = table.constFind(key);
    if (found != table.constEnd()) {
      prefix = found.value();
      continue;
    }
    packer.Put(prefix, width);
    if (next == kCodeLimit) {
      packer.Put(clear, width);
      table.clear();
      width = minCodeSize + 1;
      next = end + 1;
    } else {
      table.insert(key, next);
      if (next == (1 << width) && width < kMaxCodeWidth) ++width;
      ++next;
    }
    prefix = k;
  }
  packer.Put(prefix, width);
  packer.Put(end, width);
  packer.Finish();
}

}  // namespace

QByteArray EncodeGif(const QVector<GifFrame>& frames, const GifOptions& options) {
  if (frames.isEmpty()) return {};
  const QSize size = frames.front().image.size();
  if (size.isEmpty() || size.width() > kMaxSide || size.height() > kMaxSide) return {};
  for (const GifFrame& frame : frames) {
    if (frame.image.size() != size) return {};
  }

  // Blend every frame once; count the colours of all frames together, as
  // they share one palette.
  QVector<ResolvedFrame> resolved;
  QHash<QRgb, quint64> histogram;
  bool anyTransparent = false;
  for (const GifFrame& frame : frames) {
    const QImage image = frame.image.convertToFormat(QImage::Format_ARGB32);
    ResolvedFrame out;
    out.pixels.reserve(size.width() * size.height());
    for (int y = 0; y < size.height(); ++y) {
      const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      for (int x = 0; x < size.width(); ++x) {
        const QRgb pixel = Blend(line[x], options.matte);
        out.pixels.append(pixel);
        if (qAlpha(pixel) == 0) {
          anyTransparent = true;
        } else {
          ++histogram[pixel];
        }
      }
    }
    out.delayCs = std::clamp((frame.delayMs + 5) / 10, 2, 0xFFFF);
    resolved.append(out);
  }

  const int colourSlots = kMaxColours - (anyTransparent ? 1 : 0);
  QVector<QRgb> palette;
  if (histogram.size() <= colourSlots) {
    palette = histogram.keys().toVector();
    std::sort(palette.begin(), palette.end());  // the same file on every run
  } else {
    QVector<ColourCount> colours;
    colours.reserve(histogram.size());
    for (auto it = histogram.constBegin(); it != histogram.constEnd(); ++it) colours.append({it.key(), it.value()});
    std::sort(colours.begin(), colours.end(),
              [](const ColourCount& a, const ColourCount& b) { return a.colour < b.colour; });
    palette = MedianCut(colours, colourSlots);
  }
  const int transparentIndex = anyTransparent ? palette.size() : -1;
  const int entries = palette.size() + (anyTransparent ? 1 : 0);
  int tableBits = 2;  // LZW needs a minimum code size of at least two
  while ((1 << tableBits) < entries) ++tableBits;

  QByteArray out("GIF89a");
  AppendWord(out, size.width());
  AppendWord(out, size.height());
  out.append(char(0x80 | 0x70 | (tableBits - 1)));  // global table, 8 bits per primary
  out.append(char(anyTransparent ? transparentIndex : 0));
  out.append(char(0));  // square pixels
  for (int i = 0; i < (1 << tableBits); ++i) {
    const QRgb c = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
    out.append(char(qRed(c)));
    out.append(char(qGreen(c)));
    out.append(char(qBlue(c)));
  }
  out.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
  AppendWord(out, std::clamp(options.loopCount, 0, 0xFFFF));
  out.append(char(0));

  QHash<QRgb, uint8_t> lookup;
  for (const ResolvedFrame& frame : resolved) {
    // Graphic control: dispose to background, so that a transparent pixel
    // shows the window and not the previous frame.
    out.append("\x21\xF9\x04", 3);
    out.append(char((2 << 2) | (anyTransparent ? 1 : 0)));
    AppendWord(out, frame.delayCs);
    out.append(char(anyTransparent ? transparentIndex : 0));
    out.append(char(0));
    out.append(char(0x2C));
    AppendWord(out, 0);
    AppendWord(out, 0);
    AppendWord(out, size.width());
    AppendWord(out, size.height());
    out.append(char(0));  // no local table, not interlaced

    QVector<uint8_t> indices;
    indices.reserve(frame.pixels.size());
    for (const QRgb pixel : frame.pixels) {
      if (qAlpha(pixel) == 0) {
        indices.append(uint8_t(transparentIndex));
        continue;
      }
      auto it = lookup.constFind(pixel);
      if (it == lookup.constEnd()) it = lookup.insert(pixel, uint8_t(Nearest(pixel, palette)));
      indices.append(it.value());
    }
    Compress(out, indices, tableBits);
  }
  out.append(char(0x3B));
  return out;
}

}  // namespace artwork
