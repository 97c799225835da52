#include "tool/viewer/hands_view.h"

#include <QMatrix4x4>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QtMath>
#include <algorithm>
#include <cmath>

#include "tool/viewer/hand_mesh.h"

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

constexpr float kFieldOfView = 40;
// A hierarchy without our hands is first seen from the front, turned a
// little (degrees).
constexpr float kTilt = 30;
constexpr float kTurn = 20;

// Lit from just above and left of the camera, both faces alike; the
// shading keeps each side's colour recognisable.
const char* kVertexShader = R"(#version 120
attribute vec3 position;
attribute vec3 normal;
attribute vec3 colour;
uniform mat4 transform;
uniform vec3 light;
uniform float lit;
varying vec3 shade;
void main() {
  gl_Position = transform * vec4(position, 1.0);
  float brightness = 0.55 + 0.45 * abs(dot(normalize(normal), light));
  shade = colour * mix(1.0, brightness, lit);
}
)";

const char* kFragmentShader = R"(#version 120
varying vec3 shade;
void main() {
  gl_FragColor = vec4(shade, 1.0);
}
)";

QVector3D ToQt(const Vec3& v) { return QVector3D(float(v.x), float(v.y), float(v.z)); }

QColor SideColour(Side side) {
  return side == Side::Left ? kLeftColour : side == Side::Right ? kRightColour : kOtherColour;
}

QVector3D Direction(const Vec3& v) { return ToQt(v).normalized(); }

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
  std::vector<recording::HandFigure> figures;
  for (const HandInfo& hand : scene_.hands)
    if (hand.present) figures.push_back(hand.figure);
  if (!figures.empty()) {
    // The hands' own view: over their backs, the left hand on the left.
    const recording::HandsCamera camera = recording::CameraOnHands(figures);
    target_ = ToQt(camera.target);
    const QVector3D back = (ToQt(camera.eye) - target_).normalized();
    const QVector3D up = (ToQt(camera.up) - QVector3D::dotProduct(ToQt(camera.up), back) * back).normalized();
    const QVector3D right = QVector3D::crossProduct(up, back);
    distance_ = (ToQt(camera.eye) - target_).length();
    orientation_ = QQuaternion::fromAxes(right, up, back);
    const QVector3D floorUp = Direction(camera.floorNormal);
    QVector3D floorRight = right - QVector3D::dotProduct(right, floorUp) * floorUp;
    if (floorRight.length() < 1e-3f) floorRight = QVector3D::crossProduct(up, floorUp);
    BuildGrid(ToQt(camera.floorCentre), floorUp, floorRight.normalized(), float(camera.extent));
    update();
    return;
  }

  // Anything else: from the front, a little from above and to the side.
  const QVector3D lo = ToQt(scene_.lo), hi = ToQt(scene_.hi);
  target_ = (lo + hi) / 2;
  const float extent = std::max(1.0f, (hi - lo).length());
  distance_ = extent / (2 * std::tan(qDegreesToRadians(kFieldOfView) / 2)) * 1.4f;
  const QVector3D up(0, 1, 0), right(1, 0, 0);
  orientation_ = QQuaternion::fromAxisAndAngle(up, kTurn) * QQuaternion::fromAxisAndAngle(right, -kTilt);
  // The floor lies under everything.
  BuildGrid(QVector3D(target_.x(), lo.y() - extent * 0.15f, target_.z()), up, right, extent);
  update();
}

void HandsView::BuildGrid(const QVector3D& centre, const QVector3D& up, const QVector3D& right, float extent) {
  grid_.clear();
  const QVector3D forward = QVector3D::crossProduct(right, up);
  const int lines = 10;
  const float step = extent / lines;
  const float half = step * lines;
  const float c[3] = {float(kGrid.redF()), float(kGrid.greenF()), float(kGrid.blueF())};
  auto add = [&](const QVector3D& p) { grid_.push_back({{p.x(), p.y(), p.z()}, {0, 0, 1}, {c[0], c[1], c[2]}}); };
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
  program_.bindAttributeLocation("normal", 1);
  program_.bindAttributeLocation("colour", 2);
  if (!program_.link()) qWarning("hand viewer: the shaders do not link: %s", qPrintable(program_.log()));
  const QByteArray renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  software_ = renderer.contains("llvmpipe") || renderer.contains("softpipe") || renderer.contains("Software");
  emit rendererKnown(software_);
}

void HandsView::resizeGL(int, int) {}

void HandsView::Draw(const std::vector<Vertex>& vertices, unsigned mode, bool lit) {
  if (vertices.empty()) return;
  program_.setUniformValue("lit", lit ? 1.0f : 0.0f);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), vertices.front().position);
  glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), vertices.front().normal);
  glVertexAttribPointer(2, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), vertices.front().colour);
  glDrawArrays(mode, 0, GLsizei(vertices.size()));
}

void HandsView::paintGL() {
  glClearColor(float(kBackground.redF()), float(kBackground.greenF()), float(kBackground.blueF()), 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (program_.isLinked()) {
    glEnable(GL_DEPTH_TEST);
    QMatrix4x4 projection;
    projection.perspective(kFieldOfView, float(width()) / float(std::max(1, height())), distance_ * 0.05f,
                           distance_ * 20);
    QMatrix4x4 view;
    view.translate(0, 0, -distance_);
    view.rotate(orientation_.conjugated());
    view.translate(-target_);
    program_.bind();
    program_.setUniformValue("transform", projection * view);
    program_.setUniformValue("light", orientation_.rotatedVector(QVector3D(-0.3f, 0.5f, 1).normalized()));
    for (int a = 0; a < 3; ++a) program_.enableAttributeArray(a);

    Draw(grid_, GL_LINES, false);
    const std::vector<MeshVertex> mesh = SceneMesh(scene_);
    std::vector<Vertex> solid;
    solid.reserve(mesh.size());
    float colours[3][3];
    for (int s = 0; s < 3; ++s) {
      const QColor c = SideColour(Side(s));
      colours[s][0] = float(c.redF()), colours[s][1] = float(c.greenF()), colours[s][2] = float(c.blueF());
    }
    for (const MeshVertex& v : mesh) {
      const float* c = colours[int(v.side)];
      solid.push_back(
          {{v.position[0], v.position[1], v.position[2]}, {v.normal[0], v.normal[1], v.normal[2]}, {c[0], c[1], c[2]}});
    }
    Draw(solid, GL_TRIANGLES, true);
    for (int a = 0; a < 3; ++a) program_.disableAttributeArray(a);
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
