// Draws the configuration tool's pictures into a folder: the toolbar state
// icons, the menu and window-button icons, the pairing pictures, the two
// animated loading images and the window icon. Our own artwork, in the
// window's dark colours; run scripts/draw-artwork.sh to regenerate it.
//
// The glove icons tell three states apart by shape as well as colour:
// receiver not found (dark outline, red cross), glove not delivering (grey
// outline), glove delivering (filled green). The tracker icons: off (grey
// outline), ready (filled green).
#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <functional>
#include <cstdio>

#include "tool/artwork/gif_writer.h"

namespace {

const QColor kGreen("#7BA915");
const QColor kGreenLight("#A6D92E");
const QColor kGrey("#8A949A");
const QColor kDark("#4A5256");
const QColor kRed("#D23030");
const QColor kMenuText("#C4C4C4");
const QColor kBackground("#1B2124");

QImage Canvas(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

bool Save(const QImage& image, const QString& path) {
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

// A left-hand glove, palm towards the viewer, in a 100 x 100 box; the right
// hand is its mirror image.
QPainterPath Glove(bool right) {
  QPainterPath path;
  path.setFillRule(Qt::WindingFill);
  path.addRoundedRect(QRectF(26, 44, 44, 44), 10, 10);  // palm
  const qreal tops[4] = {22, 12, 14, 24};               // pinky .. index heights
  for (int i = 0; i < 4; ++i) {
    path.addRoundedRect(QRectF(27 + i * 11, tops[i], 9.5, 50 - tops[i] + 4), 4.75, 4.75);
  }
  QPainterPath thumb;
  thumb.addRoundedRect(QRectF(-5, -18, 10, 30), 5, 5);
  QTransform place;
  place.translate(74, 62);
  place.rotate(35);
  path.addPath(place.map(thumb));
  path = path.simplified();
  if (right) path = QTransform(-1, 0, 0, 1, 100, 0).map(path);
  return path;
}

void DrawLetter(QPainter& p, const QString& letter, const QColor& colour, const QRectF& box) {
  QFont font("DejaVu Sans");
  font.setBold(true);
  font.setPixelSize(int(box.height()));
  p.setFont(font);
  p.setPen(colour);
  p.drawText(box, Qt::AlignCenter, letter);
}

enum class GloveState { NotFound, NotPaired, Paired };

QImage GloveIcon(bool right, GloveState state) {
  const int size = 90;
  QImage image = Canvas(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 100.0, size / 100.0);
  const QPainterPath glove = Glove(right);
  const QString letter = right ? "R" : "L";
  switch (state) {
    case GloveState::Paired:
      p.fillPath(glove, kGreen);
      p.setPen(QPen(kGreenLight, 3));
      p.drawPath(glove);
      DrawLetter(p, letter, kBackground, QRectF(30, 52, 36, 30));
      break;
    case GloveState::NotPaired:
      p.setPen(QPen(kGrey, 4));
      p.drawPath(glove);
      DrawLetter(p, letter, kGrey, QRectF(30, 52, 36, 30));
      break;
    case GloveState::NotFound: {
      p.setPen(QPen(kDark, 4, Qt::DashLine));
      p.drawPath(glove);
      DrawLetter(p, letter, kDark, QRectF(30, 52, 36, 30));
      // A red cross over a receiver plug in the corner: nothing to talk to.
      const QRectF badge(60, 60, 38, 38);
      p.setPen(Qt::NoPen);
      p.setBrush(kRed);
      p.drawEllipse(badge);
      p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(70, 70), QPointF(88, 88));
      p.drawLine(QPointF(88, 70), QPointF(70, 88));
      break;
    }
  }
  return image;
}

// A wrist tracker seen from above: a round puck with three feet.
QImage TrackerIcon(bool ready) {
  const int size = 90;
  QImage image = Canvas(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 100.0, size / 100.0);
  const QPointF centre(50, 50);
  QPainterPath puck;
  puck.addEllipse(centre, 30, 30);
  for (int i = 0; i < 3; ++i) {
    const qreal angle = qDegreesToRadians(90.0 + i * 120.0);
    QPainterPath foot;
    foot.addEllipse(centre + QPointF(std::cos(angle) * 36, -std::sin(angle) * 36), 9, 9);
    puck = puck.united(foot);
  }
  if (ready) {
    p.fillPath(puck, kGreen);
    p.setPen(QPen(kGreenLight, 3));
    p.drawPath(puck);
    p.setPen(Qt::NoPen);
    p.setBrush(kBackground);
    p.drawEllipse(centre, 10, 10);
    p.setBrush(kGreenLight);
    p.drawEllipse(centre, 5, 5);
  } else {
    p.setPen(QPen(kGrey, 4));
    p.drawPath(puck);
    p.setPen(QPen(kGrey, 3));
    p.drawEllipse(centre, 10, 10);
  }
  return image;
}

QImage Symbol(const std::function<void(QPainter&)>& draw, int size = 32) {
  QImage image = Canvas(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  draw(p);
  return image;
}

// The pairing pictures: the hand's glove beside its receiver, radio waves
// between them.
QImage PairingPicture(bool right) {
  const int size = 200;
  QImage image = Canvas(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.save();
  p.translate(right ? 70 : 0, 20);
  p.scale(1.3, 1.3);
  p.setPen(QPen(kGrey, 3));
  p.drawPath(Glove(right));
  DrawLetter(p, right ? "R" : "L", kGrey, QRectF(30, 52, 36, 30));
  p.restore();
  // The receiver: a USB plug.
  const qreal x = right ? 18 : 150;
  p.setPen(Qt::NoPen);
  p.setBrush(kGrey);
  p.drawRoundedRect(QRectF(x, 120, 30, 46), 5, 5);
  p.setBrush(kDark);
  p.drawRect(QRectF(x + 7, 104, 16, 17));
  p.setBrush(kGreen);
  p.drawEllipse(QPointF(x + 15, 155), 4, 4);
  // Waves from the receiver towards the glove.
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < 3; ++i) {
    p.setPen(QPen(kGreen, 3, Qt::SolidLine, Qt::RoundCap));
    const qreal r = 14 + i * 10;
    const QRectF arc(x + 15 - r, 90 - r, 2 * r, 2 * r);
    p.drawArc(arc, (right ? -45 : 135) * 16, 90 * 16);
  }
  return image;
}

QVector<artwork::GifFrame> Spinner() {
  QVector<artwork::GifFrame> frames;
  constexpr int kDots = 8;
  for (int f = 0; f < kDots; ++f) {
    QImage image = Canvas(32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int d = 0; d < kDots; ++d) {
      const int age = (f - d + kDots) % kDots;  // 0: the leading dot
      QColor colour = age == 0 ? kGreenLight : age < 3 ? kGreen : kDark;
      p.setBrush(colour);
      const qreal angle = 2 * M_PI * d / kDots;
      p.drawEllipse(QPointF(16 + 11 * std::cos(angle), 16 + 11 * std::sin(angle)), age == 0 ? 3.5 : 2.8,
                    age == 0 ? 3.5 : 2.8);
    }
    frames.append({image, 90});
  }
  return frames;
}

QVector<artwork::GifFrame> BouncingDots() {
  QVector<artwork::GifFrame> frames;
  constexpr int kFrames = 12;
  for (int f = 0; f < kFrames; ++f) {
    QImage image(48, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int d = 0; d < 3; ++d) {
      const qreal phase = 2 * M_PI * (f - d * 2) / kFrames;
      const qreal lift = std::max(0.0, std::sin(phase)) * 5;
      p.setBrush(lift > 2 ? kGreenLight : kGrey);
      p.drawEllipse(QPointF(8 + d * 16, 10 - lift), 4, 4);
    }
    frames.append({image, 80});
  }
  return frames;
}

QImage ProductMark(int size) {
  QImage image = Canvas(size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  p.setPen(Qt::NoPen);
  p.setBrush(kBackground);
  p.drawRoundedRect(QRectF(1, 1, 62, 62), 12, 12);
  p.setPen(QPen(kGreen, 8, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  QPainterPath z;
  z.moveTo(16, 17);
  z.lineTo(48, 17);
  z.lineTo(16, 47);
  z.lineTo(48, 47);
  p.drawPath(z);
  return image;
}

// A Windows icon file: small sizes as 32-bit bitmaps, 256 as PNG.
QByteArray IconFile(const QVector<int>& sizes) {
  QVector<QByteArray> entries;
  for (int size : sizes) {
    const QImage image = ProductMark(size).convertToFormat(QImage::Format_ARGB32);
    QByteArray data;
    if (size >= 256) {
      QBuffer buffer(&data);
      buffer.open(QIODevice::WriteOnly);
      image.save(&buffer, "PNG");
    } else {
      QDataStream out(&data, QIODevice::WriteOnly);
      out.setByteOrder(QDataStream::LittleEndian);
      const int maskRow = ((size + 31) / 32) * 4;
      out << quint32(40) << qint32(size) << qint32(size * 2) << quint16(1) << quint16(32) << quint32(0)
          << quint32(size * size * 4 + maskRow * size) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
      for (int y = size - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < size; ++x) out << quint8(qBlue(line[x])) << quint8(qGreen(line[x])) << quint8(qRed(line[x]))
                                           << quint8(qAlpha(line[x]));
      }
      for (int i = 0; i < maskRow * size; ++i) out << quint8(0);  // transparency is in the alpha
    }
    entries.append(data);
  }
  QByteArray file;
  QDataStream out(&file, QIODevice::WriteOnly);
  out.setByteOrder(QDataStream::LittleEndian);
  out << quint16(0) << quint16(1) << quint16(sizes.size());
  quint32 offset = 6 + 16 * quint32(sizes.size());
  for (int i = 0; i < sizes.size(); ++i) {
    const quint8 dimension = sizes[i] >= 256 ? 0 : quint8(sizes[i]);
    out << dimension << dimension << quint8(0) << quint8(0) << quint16(1) << quint16(32)
        << quint32(entries[i].size()) << offset;
    offset += quint32(entries[i].size());
  }
  for (const QByteArray& entry : entries) file.append(entry);
  return file;
}

bool WriteFile(const QString& path, const QByteArray& data) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size()) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_artwork <output folder>\n");
    return 2;
  }
  const QDir out(argv[1]);
  if (!out.exists() && !QDir().mkpath(out.path())) return 1;
  bool ok = true;
  const auto at = [&](const char* name) { return out.filePath(name); };
  ok &= Save(GloveIcon(false, GloveState::NotFound), at("LHNotFound.png"));
  ok &= Save(GloveIcon(false, GloveState::NotPaired), at("LHNotPaired.png"));
  ok &= Save(GloveIcon(false, GloveState::Paired), at("LHPaired.png"));
  ok &= Save(GloveIcon(true, GloveState::NotFound), at("RHNotFound.png"));
  ok &= Save(GloveIcon(true, GloveState::NotPaired), at("RHNotPaired.png"));
  ok &= Save(GloveIcon(true, GloveState::Paired), at("RHPaired.png"));
  ok &= Save(TrackerIcon(false), at("tracker_status_off.png"));
  ok &= Save(TrackerIcon(true), at("tracker_status_ready.png"));
  ok &= Save(PairingPicture(false), at("LHPairing.png"));
  ok &= Save(PairingPicture(true), at("RHPairing.png"));
  ok &= Save(Symbol([](QPainter& p) {
               p.setPen(Qt::NoPen);
               p.setBrush(kGreen);
               p.drawPolygon(QPolygonF({QPointF(9, 6), QPointF(26, 16), QPointF(9, 26)}));
             }),
             at("play-button.png"));
  ok &= Save(Symbol([](QPainter& p) {
               p.setPen(Qt::NoPen);
               p.setBrush(kRed);
               p.drawRoundedRect(QRectF(8, 8, 16, 16), 2, 2);
             }),
             at("stop.png"));
  ok &= Save(Symbol([](QPainter& p) {
               p.setPen(QPen(kMenuText, 4, Qt::SolidLine, Qt::RoundCap));
               p.drawLine(QPointF(7, 7), QPointF(25, 25));
               p.drawLine(QPointF(25, 7), QPointF(7, 25));
             }),
             at("close.png"));
  ok &= Save(Symbol([](QPainter& p) {
               p.setPen(QPen(kMenuText, 4, Qt::SolidLine, Qt::RoundCap));
               p.drawLine(QPointF(6, 16), QPointF(26, 16));
             }),
             at("minus-symbol.png"));
  ok &= Save(Symbol(
                 [](QPainter& p) {
                   p.setPen(Qt::NoPen);
                   p.setBrush(kGreen);
                   p.drawEllipse(QRectF(2, 2, 28, 28));
                   p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                   p.drawPolyline(QPolygonF({QPointF(9, 16.5), QPointF(14, 21.5), QPointF(23, 11)}));
                 },
                 48),
             at("checked.png"));
  ok &= Save(Symbol(
                 [](QPainter& p) {
                   p.setPen(Qt::NoPen);
                   p.setBrush(kRed);
                   p.drawEllipse(QRectF(2, 2, 28, 28));
                   p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
                   p.drawLine(QPointF(11, 11), QPointF(21, 21));
                   p.drawLine(QPointF(21, 11), QPointF(11, 21));
                 },
                 48),
             at("cancel.png"));
  ok &= WriteFile(at("ajax-loader.gif"), artwork::EncodeGif(Spinner()));
  ok &= WriteFile(at("loading_symbol.gif"), artwork::EncodeGif(BouncingDots()));
  ok &= WriteFile(at("ZEMBRA.ico"), IconFile({16, 32, 48, 256}));
  return ok ? 0 : 1;
}
