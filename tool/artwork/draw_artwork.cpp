// Draws every picture of the configuration tool into the folder named on the
// command line: the glove and tracker state icons of the toolbar, the menu
// and window-button icons, the pairing pictures, the two loading animations
// and the window icon. scripts/draw-artwork.sh builds and runs it.
//
// The toolbar shows 45 x 45 icons on the window's dark background, so each
// state differs in shape as well as colour:
//   receiver not found  dim glove outline, receiver struck through in red
//   glove not delivering grey glove outline, grey receiver
//   glove delivering    bright green filled glove, green receiver with waves
//   tracker off         grey puck outline, dark light
//   tracker ready       bright green filled puck, lit light
// Letters are drawn as strokes, not text, so that the pictures do not depend
// on the fonts installed where they are drawn.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QtEndian>
#include <QtMath>
#include <cstdio>
#include <functional>

#include "tool/artwork/gif_writer.h"

namespace {

const QColor kBackground("#1B2124");
const QColor kGreen("#7BA915");  // the window's "Ready" colour
const QColor kGreenLight("#B4E53C");
const QColor kGreenDark("#4E6E0C");
const QColor kGrey("#9AA3A8");
const QColor kGreyFill("#2A3235");
const QColor kDim("#535C61");
const QColor kRed("#E03A3A");
const QColor kMenuText("#C4C4C4");
const QColor kBlue("#3BA0FF");
const QColor kWhite("#F2F2F2");

enum class Hand { Left, Right };
enum class GloveState { NotFound, NotPaired, Paired };

QImage Canvas(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// A painter on `image` whose user space is `units` wide, antialiased.
class Sketch {
 public:
  Sketch(QImage& image, qreal units) : painter_(&image) {
    painter_.setRenderHint(QPainter::Antialiasing);
    painter_.scale(image.width() / units, image.width() / units);
  }
  QPainter& operator*() { return painter_; }
  QPainter* operator->() { return &painter_; }

 private:
  QPainter painter_;
};

QPen Line(const QColor& colour, qreal width) { return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

// A rounded bar from a to b, as wide as `width`.
QPainterPath Capsule(QPointF a, QPointF b, qreal width) {
  QPainterPath line(a);
  line.lineTo(b);
  QPainterPathStroker stroker;
  stroker.setWidth(width);
  stroker.setCapStyle(Qt::RoundCap);
  return stroker.createStroke(line);
}

// A left-hand glove seen from its back (thumb to the right) in a 100-unit
// box; the cuff at the bottom makes it read as a glove rather than a hand.
QPainterPath GloveShape() {
  QPainterPath glove;
  glove.addRoundedRect(QRectF(25, 42, 45, 40), 12, 12);  // back of the hand
  const qreal centres[4] = {30.5, 42, 53.5, 65};         // little .. index finger
  const qreal tips[4] = {25, 13, 9, 15};
  for (int i = 0; i < 4; ++i) glove = glove.united(Capsule({centres[i], 58}, {centres[i], tips[i] + 4.75}, 9.5));
  glove = glove.united(Capsule({64, 72}, {83, 50}, 11));  // thumb
  QPainterPath cuff;
  cuff.addRoundedRect(QRectF(28, 78, 39, 18), 3, 3);
  return glove.united(cuff).simplified();
}

QTransform MirrorFor(Hand hand, qreal units) {
  return hand == Hand::Right ? QTransform(-1, 0, 0, 1, units, 0) : QTransform();
}

// "L" or "R" as strokes inside `box`.
QPainterPath Letter(Hand hand, const QRectF& box) {
  QPainterPath path;
  const qreal l = box.left();
  const qreal t = box.top();
  const qreal w = box.width();
  const qreal h = box.height();
  if (hand == Hand::Left) {
    path.moveTo(l + 0.15 * w, t);
    path.lineTo(l + 0.15 * w, t + h);
    path.lineTo(l + 0.9 * w, t + h);
  } else {
    const qreal bowl = 0.52 * h;
    path.moveTo(l + 0.12 * w, t + h);
    path.lineTo(l + 0.12 * w, t);
    path.lineTo(l + 0.55 * w, t);
    path.arcTo(QRectF(l + 0.55 * w - bowl / 2, t, bowl, bowl), 90, -180);
    path.lineTo(l + 0.12 * w, t + bowl);
    path.moveTo(l + 0.5 * w, t + bowl);
    path.lineTo(l + 0.92 * w, t + h);
  }
  return path;
}

// The USB receiver standing upright: plug on top, body, status light.
void DrawReceiver(QPainter& p, const QPointF& centre, qreal height, const QColor& body, const QColor& light) {
  const qreal w = height * 0.5;
  const QRectF plug(centre.x() - w * 0.32, centre.y() - height / 2, w * 0.64, height * 0.3);
  const QRectF housing(centre.x() - w / 2, plug.bottom() - height * 0.02, w, height * 0.72);
  p.setPen(Qt::NoPen);
  p.setBrush(body.darker(135));
  p.drawRect(plug);
  p.setBrush(body);
  p.drawRoundedRect(housing, w * 0.22, w * 0.22);
  if (light.isValid()) {
    p.setBrush(light);
    p.drawEllipse(QPointF(centre.x(), housing.bottom() - housing.height() * 0.28), w * 0.17, w * 0.17);
  }
}

// Radio waves spreading from `origin` towards `direction` degrees.
void DrawWaves(QPainter& p, const QPointF& origin, qreal direction, qreal first, qreal step, int count,
               const QColor& colour, qreal width) {
  p.setBrush(Qt::NoBrush);
  p.setPen(Line(colour, width));
  for (int i = 0; i < count; ++i) {
    const qreal r = first + i * step;
    p.drawArc(QRectF(origin.x() - r, origin.y() - r, 2 * r, 2 * r), int((direction - 40) * 16), 80 * 16);
  }
}

QImage GloveIcon(Hand hand, GloveState state) {
  constexpr qreal kUnits = 100;
  QImage image = Canvas(90, 90);
  Sketch p(image, kUnits);
  const QTransform mirror = MirrorFor(hand, kUnits);
  // The glove a little smaller than the box, up and away from the corner
  // that carries the receiver.
  QTransform place;
  place.translate(14, 1);
  place.scale(0.89, 0.89);
  const QPainterPath glove = mirror.map(place.map(GloveShape()));
  const QPainterPath letter = mirror.map(place.map(Letter(hand, QRectF(38, 52, 18, 21))));
  // Letters are not mirrored: move the right hand's back to reading order.
  const QPainterPath shownLetter =
      hand == Hand::Right ? QTransform(-1, 0, 0, 1, 2 * letter.boundingRect().center().x(), 0).map(letter) : letter;
  const QPointF receiver = mirror.map(QPointF(18, 77));

  switch (state) {
    case GloveState::Paired:
      p->fillPath(glove, kGreen);
      p->strokePath(glove, Line(kGreenLight, 3.5));
      p->strokePath(shownLetter, Line(kBackground, 6.5));
      DrawReceiver(*p, receiver, 40, kGreenLight, kBackground);
      DrawWaves(*p, receiver + QPointF(0, -22), 90, 7, 6.5, 2, kGreenLight, 4);
      break;
    case GloveState::NotPaired:
      p->fillPath(glove, kGreyFill);
      p->strokePath(glove, Line(kGrey, 4.5));
      p->strokePath(shownLetter, Line(kGrey, 6.5));
      DrawReceiver(*p, receiver, 40, kGrey, kGreyFill);
      break;
    case GloveState::NotFound: {
      QPen dashed = Line(kDim, 4.5);
      dashed.setDashPattern({2.2, 1.6});
      p->strokePath(glove, dashed);
      p->strokePath(shownLetter, Line(kDim, 6.5));
      DrawReceiver(*p, receiver, 40, kDim, QColor());
      // A red "no" sign over the receiver: nothing to talk to.
      const qreal r = 20;
      p->setBrush(Qt::NoBrush);
      p->setPen(QPen(kBackground, 9));
      p->drawEllipse(receiver, r, r);
      p->setPen(Line(kRed, 5));
      p->drawEllipse(receiver, r, r);
      const QPointF d(r * 0.7071, r * 0.7071);
      p->setPen(Line(kBackground, 9));
      p->drawLine(receiver - d, receiver + d);
      p->setPen(Line(kRed, 5));
      p->drawLine(receiver - d, receiver + d);
      break;
    }
  }
  return image;
}

// A wrist tracker seen from above: a round body with three prongs and a
// status light in the middle.
QImage TrackerIcon(bool ready) {
  constexpr qreal kUnits = 100;
  QImage image = Canvas(90, 90);
  Sketch p(image, kUnits);
  const QPointF centre(50, 53);
  QPainterPath puck;
  puck.addEllipse(centre, 27, 27);
  for (const qreal angle : {-90.0, 30.0, 150.0}) {
    const qreal a = qDegreesToRadians(angle);
    puck = puck.united(Capsule(centre, centre + QPointF(std::cos(a) * 36, std::sin(a) * 36), 19));
  }
  puck = puck.simplified();
  if (ready) {
    p->fillPath(puck, kGreen);
    p->strokePath(puck, Line(kGreenLight, 3.5));
    p->setPen(Qt::NoPen);
    p->setBrush(kBackground);
    p->drawEllipse(centre, 13, 13);
    p->setBrush(kGreenLight);
    p->drawEllipse(centre, 7.5, 7.5);
  } else {
    p->fillPath(puck, kGreyFill);
    p->strokePath(puck, Line(kGrey, 4.5));
    p->setPen(Line(kGrey, 3.5));
    p->setBrush(kBackground);
    p->drawEllipse(centre, 12, 12);
  }
  return image;
}

QImage Symbol(int size, const std::function<void(QPainter&)>& draw) {
  QImage image = Canvas(size, size);
  Sketch p(image, 32);
  draw(*p);
  return image;
}

// The pairing dialog's picture: the hand's glove with its box on the back of
// the hand, the box's button and blue light, and the USB receiver beside it
// with waves between them.
QImage PairingPicture(Hand hand) {
  constexpr qreal kUnits = 200;
  // A little taller than wide: the dialog's layout gives the picture about
  // that shape and stretches it to fit.
  QImage image = Canvas(200, 230);
  Sketch p(image, kUnits);
  const QTransform mirror = MirrorFor(hand, kUnits);
  QTransform place;
  place.translate(2, 26);
  place.scale(1.62, 1.62);
  const QPainterPath glove = mirror.map(place.map(GloveShape()));
  p->fillPath(glove, kGreyFill);
  p->strokePath(glove, Line(kGrey, 4));

  // The glove box on the back of the hand.
  const QRectF box = mirror.mapRect(place.mapRect(QRectF(31, 50, 33, 24)));
  p->setPen(Line(kMenuText, 3));
  p->setBrush(QColor("#3A4347"));
  p->drawRoundedRect(box, 6, 6);
  const QPointF button = box.center() + QPointF(mirror.m11() * -box.width() * 0.18, 0);
  const QPointF light = box.center() + QPointF(mirror.m11() * box.width() * 0.24, 0);
  p->setPen(Line(kWhite, 2.5));
  p->setBrush(kBackground);
  p->drawEllipse(button, 7.5, 7.5);
  QRadialGradient glow(light, 13);
  glow.setColorAt(0, QColor(59, 160, 255, 200));
  glow.setColorAt(1, QColor(59, 160, 255, 0));
  p->setPen(Qt::NoPen);
  p->setBrush(glow);
  p->drawEllipse(light, 13, 13);
  p->setBrush(kBlue);
  p->drawEllipse(light, 4.5, 4.5);

  // The hand's letter on the cuff.
  const QRectF cuff = mirror.mapRect(place.mapRect(QRectF(28, 78, 39, 18)));
  const QRectF letterBox(cuff.center().x() - 8, cuff.center().y() - 10, 16, 20);
  p->strokePath(Letter(hand, letterBox), Line(kGrey, 4.5));

  const QPointF receiver = mirror.map(QPointF(174, 172));
  DrawReceiver(*p, receiver, 62, kGrey, kBlue);
  DrawWaves(*p, receiver + QPointF(0, -36), hand == Hand::Left ? 125 : 55, 12, 11, 3, kGreen, 4);
  return image;
}

QColor Mix(const QColor& a, const QColor& b, qreal t) {
  return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                          a.blueF() + (b.blueF() - a.blueF()) * t);
}

// Twelve spokes, the bright one moving round with a fading tail.
QVector<artwork::GifFrame> Spinner() {
  constexpr int kSpokes = 12;
  QVector<artwork::GifFrame> frames;
  for (int f = 0; f < kSpokes; ++f) {
    QImage image = Canvas(32, 32);
    Sketch p(image, 32);
    for (int s = 0; s < kSpokes; ++s) {
      const int age = (f - s + kSpokes) % kSpokes;  // 0: the leading spoke
      const qreal a = 2 * M_PI * s / kSpokes - M_PI / 2;
      const QPointF direction(std::cos(a), std::sin(a));
      const QColor colour = Mix(kGreenLight, kDim, std::min(1.0, age / 6.0));
      p->setPen(Line(colour, 3));
      p->drawLine(QPointF(16, 16) + direction * 7.5, QPointF(16, 16) + direction * 13.5);
    }
    frames.append({image, 80});
  }
  return frames;
}

// Three dots swelling and brightening one after another.
QVector<artwork::GifFrame> PulsingDots() {
  constexpr int kFrames = 12;
  QVector<artwork::GifFrame> frames;
  for (int f = 0; f < kFrames; ++f) {
    QImage image = Canvas(48, 16);
    Sketch p(image, 48);
    p->setPen(Qt::NoPen);
    for (int d = 0; d < 3; ++d) {
      const qreal phase = 2 * M_PI * (f - d * 2) / kFrames;
      const qreal swell = std::max(0.0, std::sin(phase));
      p->setBrush(Mix(kDim, kGreenLight, swell));
      const qreal r = 3.2 + 2.2 * swell;
      p->drawEllipse(QPointF(8 + d * 16, 8), r, r);
    }
    frames.append({image, 90});
  }
  return frames;
}

// The product mark: a green Z on the window's dark colour.
QImage ProductMark(int size) {
  QImage image = Canvas(size, size);
  Sketch p(image, 64);
  p->setPen(QPen(kGreen, size < 24 ? 4 : 3));
  p->setBrush(kBackground);
  p->drawRoundedRect(QRectF(2, 2, 60, 60), 13, 13);
  QPainterPath z;
  z.moveTo(17, 17);
  z.lineTo(47, 17);
  z.lineTo(17, 47);
  z.lineTo(47, 47);
  p->setPen(QPen(kGreenLight, size < 24 ? 10 : 8.5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p->setBrush(Qt::NoBrush);
  p->drawPath(z);
  return image;
}

// Little-endian, `bytes` of 1, 2 or 4.
void AppendLe(QByteArray& out, quint32 value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.append(char((value >> (8 * i)) & 0xFF));
}

// A Windows icon file. Qt's ico writer stores one image per file, and
// Windows wants several sizes, so the container is written here: the small
// sizes as 32-bit bitmaps with their AND mask (older readers look only at
// the mask), 256 as PNG.
QByteArray IconFile(const QVector<int>& sizes) {
  QVector<QByteArray> entries;
  for (const int size : sizes) {
    const QImage image = ProductMark(size).convertToFormat(QImage::Format_ARGB32);
    QByteArray data;
    if (size >= 256) {
      QBuffer buffer(&data);
      buffer.open(QIODevice::WriteOnly);
      image.save(&buffer, "PNG");
    } else {
      const int maskRow = ((size + 31) / 32) * 4;
      AppendLe(data, 40, 4);  // BITMAPINFOHEADER
      AppendLe(data, quint32(size), 4);
      AppendLe(data, quint32(size * 2), 4);  // colour rows and mask rows
      AppendLe(data, 1, 2);
      AppendLe(data, 32, 2);
      AppendLe(data, 0, 4);
      AppendLe(data, quint32(size * size * 4 + maskRow * size), 4);
      for (int i = 0; i < 4; ++i) AppendLe(data, 0, 4);  // resolution, palette counts
      for (int y = size - 1; y >= 0; --y) {              // bottom-up
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < size; ++x) AppendLe(data, line[x], 4);  // B, G, R, A
      }
      for (int y = size - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QByteArray row(maskRow, '\0');
        for (int x = 0; x < size; ++x) {
          if (qAlpha(line[x]) < 128) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        data.append(row);
      }
    }
    entries.append(data);
  }
  QByteArray file;
  AppendLe(file, 0, 2);
  AppendLe(file, 1, 2);  // icon, not cursor
  AppendLe(file, quint32(sizes.size()), 2);
  quint32 offset = 6 + 16 * quint32(sizes.size());
  for (int i = 0; i < sizes.size(); ++i) {
    const quint32 side = sizes[i] >= 256 ? 0 : quint32(sizes[i]);  // 0 stands for 256
    AppendLe(file, side, 1);
    AppendLe(file, side, 1);
    AppendLe(file, 0, 2);  // no palette
    AppendLe(file, 1, 2);  // planes
    AppendLe(file, 32, 2);
    AppendLe(file, quint32(entries[i].size()), 4);
    AppendLe(file, offset, 4);
    offset += quint32(entries[i].size());
  }
  for (const QByteArray& entry : entries) file.append(entry);
  return file;
}

bool WriteFile(const QString& path, const QByteArray& data) {
  QFile file(path);
  if (!data.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size()) {
    return true;
  }
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

bool Save(const QImage& image, const QString& path) {
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

// Shapes only, no text: QPainter on a QImage needs no application object
// and no display.
int main(int argc, char* argv[]) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: draw_artwork <output folder> [<SteamVR icon folder>]\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.exists() && !QDir().mkpath(out.path())) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  const auto at = [&out](const char* name) { return out.filePath(QString::fromLatin1(name)); };
  bool ok = true;
  const struct {
    Hand hand;
    const char* prefix;
  } hands[] = {{Hand::Left, "LH"}, {Hand::Right, "RH"}};
  for (const auto& h : hands) {
    const QString prefix = QString::fromLatin1(h.prefix);
    ok &= Save(GloveIcon(h.hand, GloveState::NotFound), out.filePath(prefix + "NotFound.png"));
    ok &= Save(GloveIcon(h.hand, GloveState::NotPaired), out.filePath(prefix + "NotPaired.png"));
    ok &= Save(GloveIcon(h.hand, GloveState::Paired), out.filePath(prefix + "Paired.png"));
    ok &= Save(PairingPicture(h.hand), out.filePath(prefix + "Pairing.png"));
  }
  ok &= Save(TrackerIcon(false), at("tracker_status_off.png"));
  ok &= Save(TrackerIcon(true), at("tracker_status_ready.png"));

  ok &= Save(Symbol(32,
                    [](QPainter& p) {
                      p.setPen(Line(kGreen, 3));
                      p.setBrush(kGreen);
                      p.drawPolygon(QPolygonF({QPointF(10, 6.5), QPointF(25.5, 16), QPointF(10, 25.5)}));
                    }),
             at("play-button.png"));
  ok &= Save(Symbol(32,
                    [](QPainter& p) {
                      p.setPen(Qt::NoPen);
                      p.setBrush(kRed);
                      p.drawRoundedRect(QRectF(7.5, 7.5, 17, 17), 3, 3);
                    }),
             at("stop.png"));
  // The window buttons are shown at 8 x 8: thick strokes, or they vanish.
  ok &= Save(Symbol(32,
                    [](QPainter& p) {
                      p.setPen(Line(kMenuText, 6));
                      p.drawLine(QPointF(5, 5), QPointF(27, 27));
                      p.drawLine(QPointF(27, 5), QPointF(5, 27));
                    }),
             at("close.png"));
  ok &= Save(Symbol(32,
                    [](QPainter& p) {
                      p.setPen(Line(kMenuText, 6));
                      p.drawLine(QPointF(4, 16), QPointF(28, 16));
                    }),
             at("minus-symbol.png"));
  ok &= Save(Symbol(48,
                    [](QPainter& p) {
                      p.setPen(Qt::NoPen);
                      p.setBrush(kGreen);
                      p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
                      p.setPen(Line(kWhite, 3.6));
                      p.drawPolyline(QPolygonF({QPointF(8.5, 16.5), QPointF(13.5, 21.5), QPointF(23.5, 10.5)}));
                    }),
             at("checked.png"));
  ok &= Save(Symbol(48,
                    [](QPainter& p) {
                      p.setPen(Qt::NoPen);
                      p.setBrush(kRed);
                      p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
                      p.setPen(Line(kWhite, 3.6));
                      p.drawLine(QPointF(10.5, 10.5), QPointF(21.5, 21.5));
                      p.drawLine(QPointF(21.5, 10.5), QPointF(10.5, 21.5));
                    }),
             at("cancel.png"));
  ok &= WriteFile(at("ajax-loader.gif"), artwork::EncodeGif(Spinner()));
  ok &= WriteFile(at("loading_symbol.gif"), artwork::EncodeGif(PulsingDots()));
  ok &= WriteFile(at("ZEMBRA.ico"), IconFile({16, 24, 32, 48, 64, 256}));
  // The desktop entry's icon of an installed tool (not a resource).
  QDir().mkpath(out.filePath("desktop"));
  ok &= Save(ProductMark(256), at("desktop/zembra-glove-config-tool.png"));
  if (argc == 3) {
    // The SteamVR driver's device icons (32 x 32): the same gloves, not
    // found (off), found but silent (searching) and streaming (ready).
    const QDir icons(QString::fromLocal8Bit(argv[2]));
    QDir().mkpath(icons.path());
    const struct {
      Hand hand;
      const char* side;
    } sides[] = {{Hand::Left, "left"}, {Hand::Right, "right"}};
    const struct {
      GloveState state;
      const char* name;
    } states[] = {{GloveState::NotFound, "off"}, {GloveState::NotPaired, "searching"}, {GloveState::Paired, "ready"}};
    for (const auto& side : sides) {
      for (const auto& state : states) {
        const QString name =
            QString::fromLatin1("%1_glove_%2.png").arg(QLatin1String(side.side), QLatin1String(state.name));
        const QImage icon =
            GloveIcon(side.hand, state.state).scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        ok &= Save(icon, icons.filePath(name));
      }
    }
  }
  return ok ? 0 : 1;
}
