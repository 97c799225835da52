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

#include "tool/recording/bvh_pose.h"
#include "tool/recording/bvh_reader.h"

using ZEMBRA::recording::BvhFile;
using ZEMBRA::recording::Vec3;

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
  const std::vector<Vec3> at =
      ZEMBRA::recording::JointPositions(file, file.values.data() + size_t(frame) * size_t(file.channelCount));

  constexpr int kView = 360;
  QImage image(2 * kView, kView, QImage::Format_RGB32);
  image.fill(QColor("#1B2124"));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // Left view: from above (x right, z down); right view: from the front (x
  // right, y up). Both centred on the joints' middle.
  double lo[3] = {1e9, 1e9, 1e9}, hi[3] = {-1e9, -1e9, -1e9};
  for (const Vec3& p : at) {
    const double q[3] = {p.x, p.y, p.z};
    for (int i = 0; i < 3; ++i) {
      lo[i] = std::min(lo[i], q[i]);
      hi[i] = std::max(hi[i], q[i]);
    }
  }
  double span = 1;
  for (int i = 0; i < 3; ++i) span = std::max(span, hi[i] - lo[i]);
  const double scale = (kView - 40) / span;
  auto above = [&](const Vec3& q) {
    return QPointF(kView / 2 + (q.x - (lo[0] + hi[0]) / 2) * scale, kView / 2 + (q.z - (lo[2] + hi[2]) / 2) * scale);
  };
  auto front = [&](const Vec3& q) {
    return QPointF(kView + kView / 2 + (q.x - (lo[0] + hi[0]) / 2) * scale,
                   kView / 2 - (q.y - (lo[1] + hi[1]) / 2) * scale);
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
