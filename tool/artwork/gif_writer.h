// A small animated-GIF encoder (GIF89a, LZW, looping for ever) for the
// tool's artwork: Qt reads GIF but does not write it.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRgb>
#include <QVector>

namespace artwork {

struct GifFrame {
  QImage image;      // all frames the same size
  int delayMs = 80;  // GIF keeps hundredths of a second
};

// Encodes the frames with one global palette of at most 255 colours plus
// transparency: every pixel takes the nearest palette colour, a pixel less
// than half opaque is transparent. An empty palette is built from the
// frames' own colours (the first 255 met). Returns an empty array when
// there are no frames or their sizes differ.
QByteArray EncodeGif(const QVector<GifFrame>& frames, QVector<QRgb> palette = {});

}  // namespace artwork
