// A small animated-GIF encoder for the tool's artwork: Qt reads GIF but
// cannot write it. GIF89a, one global palette, LZW-compressed frames, the
// NETSCAPE2.0 extension so that the animation loops for ever.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QVector>

namespace artwork {

struct GifFrame {
  QImage image;       // every frame of one animation has the same size
  int delayMs = 100;  // kept in hundredths of a second, at least two
};

struct GifOptions {
  // GIF transparency is all or nothing: a pixel whose alpha is below
  // kTransparentBelow stays transparent, any other one is blended over the
  // matte, the colour of the window the animation is shown on, so that
  // antialiased edges carry no bright fringe there.
  QColor matte = QColor(0x1B, 0x21, 0x24);
  int loopCount = 0;  // 0: for ever
};

constexpr int kTransparentBelow = 32;

// Returns an empty array when there are no frames, when a frame is empty or
// larger than GIF allows, or when the frames' sizes differ. With at most 255
// distinct colours (after blending) every colour is kept exactly; beyond
// that the palette is reduced by median cut.
QByteArray EncodeGif(const QVector<GifFrame>& frames, const GifOptions& options = {});

}  // namespace artwork
