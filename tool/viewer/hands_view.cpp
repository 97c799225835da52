#include "tool/viewer/hands_view.h"

#include <QMatrix4x4>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace ZEMBRA {
namespace viewer {

namespace {

// The configuration tool's dark colours.
const QColor kBackground("#1B2124");
const QColor kGrid("#33393D");
const QColor kLeftColour("#7BA915");
const QColor kRightColour("#4FA3D9");
const QColor kOtherColour("#C4C4C4");
const QColor kText("#C4C4C4");

// Not in the OpenGL ES headers Qt may be built against; harmless where
// the context does not know them.
constexpr unsigned kProgramPointSize = 0x8642;
constexpr unsigned kPointSprite = 0x8861;
constexpr float kFieldOfView = 40;
constexpr float kTilt = 30;  // degrees
constexpr float kTurn = 20;

const char* kVertexShader = R"(#version 120
attribute vec3 position;
attribute vec3 colour;
uniform mat4 transform;
uniform float pointSize;
varying vec3 shade;
void main() {
  gl_Position = transform * vec4(position, 1.0);
  gl_PointSize = pointSize;
  shade = colour;
}
)";

const char* kFragmentShader = R"(#version 120
varying vec3 shade;
uniform bool roundPoints;
void main() {
  if (roundPoints && length(gl_PointCoord - vec2(0.5)) > 0.5) discard;
  gl_FragColor = vec4(shade, 1.0);
}
)";

QVector3D ToQt(const Vec3& v) { return QVector3D(float(v.x), float(v.y), float(v.z)); }

QColor SideColour(Side side) {
  return side == Side::Left ? kLeftColour : side == Side::Right ? kRightColour : kOtherColour;
}

}  // namespace

HandsView::HandsView(QWidget* parent) : QOpenGLWidget(parent) {
  setMinimumSize(480, 320);
  setFocusPolicy(Qt::StrongFocus);
}

HandsView::~HandsView() {
  // The program's GL objects go with the widget's context.
  makeCurrent();
  program_.removeAllShaders();
  doneCurrent();
}

void HandsView::SetScene(const Scene& scene) {
  scene_ = scene;
  if (!framed_) FrameScene();
  update();
}

void HandsView::SetHandStatus(int hand, const QString& status) {
  if (hand < 0 || hand > 1 || status_[hand] == status) return;
  status_[hand] = status;
  update();
}

QVector3D HandsView::cameraPosition() const { return target_ + orientation_.rotatedVector({0, 0, distance_}); }

void HandsView::FrameScene() {
  framed_ = true;
  const QVector3D lo = ToQt(scene_.lo), hi = ToQt(scene_.hi);
  target_ = (lo + hi) / 2;
  const float extent = std::max(1.0f, (hi - lo).length());
  distance_ = extent / (2 * std::tan(qDegreesToRadians(kFieldOfView) / 2)) * 1.4f;

  // Look at the palms from their side; the left hand goes to the left.
  const HandInfo& left = scene_.hands[0];
  const HandInfo& right = scene_.hands[1];
  QVector3D back(0, 0, 1), across(1, 0, 0);
  if (left.present || right.present) {
    const QVector3D palms =
        (left.present ? ToQt(left.palm) : QVector3D()) + (right.present ? ToQt(right.palm) : QVector3D());
    if (palms.length() > 0.1f) back = palms.normalized();
    if (left.present && right.present) across = ToQt(right.wrist) - ToQt(left.wrist);
  }
  QVector3D right3 = across - QVector3D::dotProduct(across, back) * back;
  if (right3.length() < 1e-3f) right3 = QVector3D::crossProduct(QVector3D(0, 1, 0), back);
  if (right3.length() < 1e-3f) right3 = QVector3D(1, 0, 0);
  right3.normalize();
  const QVector3D up = QVector3D::crossProduct(back, right3);
  // Straight onto the palms a curl comes towards the camera and hides; a
  // look from a little above and to the side shows it.
  orientation_ = QQuaternion::fromAxisAndAngle(up, kTurn) * QQuaternion::fromAxisAndAngle(right3, -kTilt) *
                 QQuaternion::fromAxes(right3, up, back);

  // The floor lies under the hands, level in this first view.
  float below = 0;
  for (const QVector3D& corner : {lo, hi, QVector3D(lo.x(), hi.y(), lo.z()), QVector3D(hi.x(), lo.y(), hi.z())})
    below = std::min(below, QVector3D::dotProduct(corner - target_, up));
  BuildGrid(target_ + up * (below - extent * 0.15f), up, right3, extent);
  update();
}

void HandsView::BuildGrid(const QVector3D& centre, const QVector3D& up, const QVector3D& right, float extent) {
  grid_.clear();
  const QVector3D forward = QVector3D::crossProduct(right, up);
  const int lines = 10;
  const float step = extent / lines;
  const float half = step * lines;
  const float c[3] = {float(kGrid.redF()), float(kGrid.greenF()), float(kGrid.blueF())};
  auto add = [&](const QVector3D& p) { grid_.push_back({{p.x(), p.y(), p.z()}, {c[0], c[1], c[2]}}); };
  for (int i = -lines; i <= lines; ++i) {
    add(centre + right * (i * step) - forward * half);
    add(centre + right * (i * step) + forward * half);
    add(centre + forward * (i * step) - right * half);
    add(centre + forward * (i * step) + right * half);
  }
}

void HandsView::initializeGL() {
  initializeOpenGLFunctions();
  program_.addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader);
  program_.addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader);
  program_.bindAttributeLocation("position", 0);
  program_.bindAttributeLocation("colour", 1);
  if (!program_.link()) qWarning("hand viewer: the shaders do not link: %s", qPrintable(program_.log()));
  const QByteArray renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  software_ = renderer.contains("llvmpipe") || renderer.contains("softpipe") || renderer.contains("Software");
  emit rendererKnown(software_);
}

void HandsView::resizeGL(int, int) {}

void HandsView::Draw(const std::vector<Vertex>& vertices, unsigned mode, float size) {
  if (vertices.empty()) return;
  program_.setUniformValue("pointSize", size);
  program_.setUniformValue("roundPoints", mode == GL_POINTS);
  glLineWidth(size);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), vertices.front().position);
  glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), vertices.front().colour);
  glDrawArrays(mode, 0, GLsizei(vertices.size()));
}

void HandsView::paintGL() {
  glClearColor(float(kBackground.redF()), float(kBackground.greenF()), float(kBackground.blueF()), 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (program_.isLinked()) {
    glEnable(GL_DEPTH_TEST);
    glEnable(kProgramPointSize);
    glEnable(kPointSprite);
    glGetError();  // the two above are unknown to some contexts
    QMatrix4x4 projection;
    projection.perspective(kFieldOfView, float(width()) / float(std::max(1, height())), distance_ * 0.05f,
                           distance_ * 20);
    QMatrix4x4 view;
    view.translate(0, 0, -distance_);
    view.rotate(orientation_.conjugated());
    view.translate(-target_);
    program_.bind();
    program_.setUniformValue("transform", projection * view);
    program_.enableAttributeArray(0);
    program_.enableAttributeArray(1);

    Draw(grid_, GL_LINES, 1);
    std::vector<Vertex> lines, points;
    lines.reserve(scene_.bones.size() * 2);
    for (const SceneBone& bone : scene_.bones) {
      const QColor colour = SideColour(bone.side);
      const float c[3] = {float(colour.redF()), float(colour.greenF()), float(colour.blueF())};
      lines.push_back({{float(bone.from.x), float(bone.from.y), float(bone.from.z)}, {c[0], c[1], c[2]}});
      lines.push_back({{float(bone.to.x), float(bone.to.y), float(bone.to.z)}, {c[0], c[1], c[2]}});
    }
    for (const SceneJoint& joint : scene_.joints) {
      const QColor colour = SideColour(joint.side).lighter(140);
      points.push_back({{float(joint.at.x), float(joint.at.y), float(joint.at.z)},
                        {float(colour.redF()), float(colour.greenF()), float(colour.blueF())}});
    }
    Draw(lines, GL_LINES, 4);
    Draw(points, GL_POINTS, 9);
    program_.disableAttributeArray(0);
    program_.disableAttributeArray(1);
    program_.release();
    glDisable(GL_DEPTH_TEST);
  }
  PaintPanels();
}

void HandsView::PaintPanels() {
  static const char* kFingerLabels[kFingers] = {"thumb", "index", "middle", "ring", "pinky"};
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const int panelWidth = 170;
  for (int hand = 0; hand < 2; ++hand) {
    const HandInfo& info = scene_.hands[hand];
    if (!info.present && status_[hand].isEmpty()) continue;
    const int x = hand == 0 ? 12 : width() - panelWidth - 12;
    int y = 22;
    painter.setPen(hand == 0 ? kLeftColour : kRightColour);
    QFont bold = painter.font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.drawText(x, y, hand == 0 ? "Left hand" : "Right hand");
    bold.setBold(false);
    painter.setFont(bold);
    painter.setPen(kText);
    if (!status_[hand].isEmpty()) painter.drawText(x, y += 18, status_[hand]);
    if (!info.present) continue;
    y += 8;
    for (int f = 0; f < kFingers; ++f) {
      y += 18;
      painter.setPen(kText);
      painter.drawText(x, y, kFingerLabels[f]);
      const double bend = info.bends[size_t(f)];
      const int bar = int(std::clamp(bend, 0.0, 270.0) / 270.0 * 80);
      painter.fillRect(x + 50, y - 10, 80, 10, kGrid);
      painter.fillRect(x + 50, y - 10, bar, 10, hand == 0 ? kLeftColour : kRightColour);
      painter.drawText(x + 136, y, QString::number(int(std::lround(bend))) + QChar(0x00B0));
    }
  }
}

void HandsView::mousePressEvent(QMouseEvent* event) { lastMouse_ = event->pos(); }

void HandsView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint delta = event->pos() - lastMouse_;
  lastMouse_ = event->pos();
  // Turning the camera's axes about the target moves it round the hands.
  const QQuaternion yaw = QQuaternion::fromAxisAndAngle(cameraUp(), -0.4f * float(delta.x()));
  const QQuaternion pitch = QQuaternion::fromAxisAndAngle(cameraRight(), -0.4f * float(delta.y()));
  orientation_ = (yaw * pitch * orientation_).normalized();
  update();
}

void HandsView::mouseDoubleClickEvent(QMouseEvent*) { FrameScene(); }

void HandsView::wheelEvent(QWheelEvent* event) {
  distance_ = std::clamp(distance_ * std::pow(0.999f, float(event->angleDelta().y())), 1.0f, 5000.0f);
  update();
}

}  // namespace viewer
}  // namespace ZEMBRA
