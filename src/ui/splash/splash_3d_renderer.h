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
/// Qt 3D processes its frames and submits them to OpenGL on the thread its engine lives on. Under
/// a software renderer one frame takes tens of milliseconds and the first one (which compiles the
/// shaders) hundreds, so the engine lives on a thread of its own, at a lower scheduling priority
/// than the window: the caller's thread only posts requests and receives finished images.
///
/// Frames are rendered on demand only. A request made while a frame is being rendered replaces
/// any earlier waiting one; frames start at most 30 times a second and never sooner than twice
/// the last frame's time after it. Destroying the renderer returns at once: Qt 3D shuts down on
/// its thread afterwards, and the application waits for that before it ends.
class Splash3DRenderer : public QObject
{
    Q_OBJECT

public:
    /// Starts the renderer: its thread loads the GL driver, makes an OpenGL context and builds the
    /// scene, and frames follow. unavailable() follows instead where no usable context or surface
    /// can be made, or contexts cannot be used off the main thread. Never a crash. Call on the
    /// main thread; it returns at once.
    static std::unique_ptr<Splash3DRenderer> create(const SplashScene::Scene &scene, QObject *parent = nullptr);
    ~Splash3DRenderer() override;

    /// Asks for a frame of the scene `seconds` after the splash appeared, at `pixelSize` (device pixels).
    /// Answered later; requests made while one is in flight are coalesced.
    void requestFrame(double seconds, QSize pixelSize);

Q_SIGNALS:
    void frameReady(const QImage &frame); // premultiplied ARGB, transparent background
    /// No usable OpenGL context could be made: no frame will come.
    void unavailable();

private:
    struct Private;
    explicit Splash3DRenderer(QObject *parent);

    std::unique_ptr<Private> d;
};
