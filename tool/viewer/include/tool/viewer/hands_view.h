// Draws a Scene in 3D with OpenGL 2.1 (GLSL 1.20), which Mesa's software
// renderer provides too: solid, lit hands (hand_mesh.h: a palm, bones as
// capsules, joints as balls), a floor grid, and a panel beside each hand
// with its name, its state and its five finger bends. The camera starts
// over the backs of the hands (tool/recording/hand_figure.h) and orbits
// them: drag to turn, wheel to zoom, double-click for the first view again.
#pragma once

#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <QQuaternion>
#include <QString>
#include <QVector3D>
#include <vector>

#include "tool/viewer/hand_scene.h"

namespace ZEMBRA {
namespace viewer {

class HandsView : public QOpenGLWidget, protected QOpenGLFunctions {
  Q_OBJECT

 public:
  explicit HandsView(QWidget* parent = nullptr);
  ~HandsView() override;

  // The next frame shows scene. The first scene also places the camera.
  void SetScene(const Scene& scene);
  // The state line under each hand's name ("streaming, 200 packets/s").
  void SetHandStatus(int hand, const QString& status);
  // Looks at the hands from above their backs, the left hand on the left.
  void FrameScene();

  // The camera, for tests: where it is and which way is up and right.
  QVector3D cameraPosition() const;
  QVector3D cameraRight() const { return orientation_.rotatedVector({1, 0, 0}); }
  QVector3D cameraUp() const { return orientation_.rotatedVector({0, 1, 0}); }
  // Whether OpenGL is drawn by the processor (Mesa's llvmpipe and the
  // like); known once the view has been shown.
  bool softwareRenderer() const { return software_; }

 signals:
  // The renderer is known: the first time the view is shown.
  void rendererKnown(bool software);

 protected:
  void initializeGL() override;
  void resizeGL(int width, int height) override;
  void paintGL() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  struct Vertex {
    float position[3];
    float normal[3];
    float colour[3];
  };

  void BuildGrid(const QVector3D& centre, const QVector3D& up, const QVector3D& right, float extent);
  void Draw(const std::vector<Vertex>& vertices, unsigned mode, bool lit);
  void PaintPanels();

  Scene scene_;
  bool framed_ = false;
  QString status_[2];
  std::vector<Vertex> grid_;

  QOpenGLShaderProgram program_;
  QQuaternion orientation_;  // the camera's axes in the world: x right, y up, z back
  QVector3D target_;
  float distance_ = 60;
  QPoint lastMouse_;
  bool software_ = false;
};

}  // namespace viewer
}  // namespace ZEMBRA
