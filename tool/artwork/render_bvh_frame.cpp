// Draws one frame of a BVH file as a picture: every bone as a line, seen
// from above and from the front side by side. For the documentation.
//   render_bvh_frame <file.bvh> <frame> <out.png>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "tool/recording/bvh_reader.h"

using ZEMBRA::recording::BvhChannel;
using ZEMBRA::recording::BvhFile;

namespace {

struct Transform {
  double r[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  double t[3] = {0, 0, 0};
};

Transform Multiply(const Transform& a, const Transform& b) {
  Transform m;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      m.r[i][j] = 0;
      for (int k = 0; k < 3; ++k) m.r[i][j] += a.r[i][k] * b.r[k][j];
    }
    m.t[i] = a.t[i];
    for (int k = 0; k < 3; ++k) m.t[i] += a.r[i][k] * b.t[k];
  }
  return m;
}

Transform Channel(BvhChannel channel, double value) {
  Transform m;
  const double a = value * M_PI / 180, c = std::cos(a), s = std::sin(a);
  switch (channel) {
    case BvhChannel::Xposition:
      m.t[0] = value;
      break;
    case BvhChannel::Yposition:
      m.t[1] = value;
      break;
    case BvhChannel::Zposition:
      m.t[2] = value;
      break;
    case BvhChannel::Xrotation:
      m = Transform{{{1, 0, 0}, {0, c, -s}, {0, s, c}}, {0, 0, 0}};
      break;
    case BvhChannel::Yrotation:
      m = Transform{{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}, {0, 0, 0}};
      break;
    case BvhChannel::Zrotation:
      m = Transform{{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}, {0, 0, 0}};
      break;
  }
  return m;
}

std::vector<std::array<double, 3>> Positions(const BvhFile& file, int frame) {
  std::vector<Transform> world(file.joints.size());
  std::vector<std::array<double, 3>> at;
  for (size_t j = 0; j < file.joints.size(); ++j) {
    const auto& joint = file.joints[j];
    Transform local;
    for (int i = 0; i < 3; ++i) local.t[i] = joint.offset[size_t(i)];
    for (size_t c = 0; c < joint.channels.size(); ++c)
      local = Multiply(local, Channel(joint.channels[c], file.Value(frame, joint.firstChannel + int(c))));
    world[j] = joint.parent < 0 ? local : Multiply(world[size_t(joint.parent)], local);
    at.push_back({world[j].t[0], world[j].t[1], world[j].t[2]});
  }
  return at;
}

}  // namespace

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: render_bvh_frame <file.bvh> <frame> <out.png>\n");
    return 2;
  }
  QFile in(argv[1]);
  if (!in.open(QIODevice::ReadOnly)) return 1;
  const auto parsed = ZEMBRA::recording::ParseBvh(in.readAll().toStdString());
  if (!parsed.ok) {
    std::fprintf(stderr, "%s:%d: %s\n", argv[1], parsed.errorLine, parsed.error.c_str());
    return 1;
  }
  const BvhFile& file = parsed.file;
  const int frame = std::min(std::max(0, std::atoi(argv[2])), std::max(0, file.frameCount - 1));
  const auto at = Positions(file, frame);

  constexpr int kView = 360;
  QImage image(2 * kView, kView, QImage::Format_RGB32);
  image.fill(QColor("#1B2124"));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // Left view: from above (x right, z down); right view: from the front (x
  // right, y up). Both centred on the joints' middle.
  double lo[3] = {1e9, 1e9, 1e9}, hi[3] = {-1e9, -1e9, -1e9};
  for (const auto& q : at) {
    for (int i = 0; i < 3; ++i) {
      lo[i] = std::min(lo[i], q[size_t(i)]);
      hi[i] = std::max(hi[i], q[size_t(i)]);
    }
  }
  double span = 1;
  for (int i = 0; i < 3; ++i) span = std::max(span, hi[i] - lo[i]);
  const double scale = (kView - 40) / span;
  auto above = [&](const std::array<double, 3>& q) {
    return QPointF(kView / 2 + (q[0] - (lo[0] + hi[0]) / 2) * scale, kView / 2 + (q[2] - (lo[2] + hi[2]) / 2) * scale);
  };
  auto front = [&](const std::array<double, 3>& q) {
    return QPointF(kView + kView / 2 + (q[0] - (lo[0] + hi[0]) / 2) * scale,
                   kView / 2 - (q[1] - (lo[1] + hi[1]) / 2) * scale);
  };
  p.setPen(QPen(QColor("#444548"), 1));
  p.drawLine(kView, 10, kView, kView - 10);
  for (size_t j = 0; j < file.joints.size(); ++j) {
    const int parent = file.joints[j].parent;
    if (parent < 0 || file.joints[size_t(parent)].parent < 0) continue;  // no lines from the root
    const bool left = file.joints[j].name.rfind("Left", 0) == 0 ||
                      (file.joints[j].endSite && file.joints[size_t(parent)].name.rfind("Left", 0) == 0);
    p.setPen(QPen(left ? QColor("#7BA915") : QColor("#4FA3D9"), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(above(at[size_t(parent)]), above(at[j]));
    p.drawLine(front(at[size_t(parent)]), front(at[j]));
  }
  p.setPen(QColor("#C4C4C4"));
  p.drawText(10, 20, QString("frame %1 of %2, from above").arg(frame + 1).arg(file.frameCount));
  p.drawText(kView + 10, 20, "from the front");
  p.end();
  return image.save(argv[3]) ? 0 : 1;
}
