#pragma once

#include "splash/splash_scene.h"

#include <QImage>
#include <QObject>
#include <QSize>

#include <memory>

/// @brief Draws the launch screen's shape field with Qt 3D into images.
///
/// The scene renders offscreen (an OpenGL context on an offscreen surface, a 4× multisampled
/// texture target resolved into a plain one that is read back), not in a native child window: the
/// splash lays translucent layers over the scene and fades out over the live window as a whole,
/// and a native child window can be neither overlaid by translucent widgets nor faded with its
/// parent on X11 or Wayland. The hosting widget paints each frame it receives.
///
/// Frames are rendered on demand only. A request made while a frame is being rendered replaces
/// any earlier waiting one; frames start at most 30 times a second and never sooner than twice
/// the last frame's time after it, so a software renderer cannot starve the window. Destroying the
/// renderer stops Qt 3D's threads and frees its GL resources.
class Splash3DRenderer : public QObject
{
    Q_OBJECT

public:
    /// Tries to create an OpenGL context and the Qt 3D scene; null when no context can be made (never a crash).
    static std::unique_ptr<Splash3DRenderer> create(const SplashScene::Scene &scene, QObject *parent = nullptr);
    ~Splash3DRenderer() override;

    /// Asks for a frame of the scene `seconds` after the splash appeared, at `pixelSize` (device pixels).
    /// May be answered synchronously or later; requests made while one is in flight may be coalesced.
    void requestFrame(double seconds, QSize pixelSize);

Q_SIGNALS:
    void frameReady(const QImage &frame); // premultiplied ARGB, transparent background

private:
    struct Private;
    explicit Splash3DRenderer(QObject *parent);
    void startPendingFrame();
    void finishFrame();

    std::unique_ptr<Private> d;
};
