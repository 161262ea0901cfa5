#pragma once

#include "splash/splash_scene.h"

#include <QImage>
#include <QWidget>

#include <memory>

class Splash3DRenderer;

/// @brief The launch screen's 3D field of drifting shapes, edge to edge over the splash backdrop.
///
/// Owns one random arrangement (a new one per splash) and animates itself on the window's clock
/// while it is visible. Each frame comes from the OpenGL renderer when a context could be made, and
/// from the painted stand-in otherwise (or until the renderer's first frame arrives), so the field
/// shows everywhere and never stalls the window. The background stays transparent.
class SplashSceneView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SplashSceneView)

public:
    enum class Renderer {
        /// Try OpenGL once at the first show; paint the stand-in when no context can be made.
        /// TAVRUNE_SPLASH_RENDERER=2d skips the attempt (for broken GL drivers).
        automatic,
        /// Always the painted stand-in.
        standIn,
    };

    explicit SplashSceneView(SplashScene::Scene scene, Renderer renderer = Renderer::automatic,
                             QWidget *parent = nullptr);
    /// A new arrangement drawn from the process's random source.
    explicit SplashSceneView(QWidget *parent = nullptr);
    ~SplashSceneView() override;

    const SplashScene::Scene &scene() const { return m_scene; }
    /// True while the OpenGL renderer runs (it then draws every frame it delivers): from just after
    /// the first show until it finds that no context can be made, if it does.
    bool usesOpenGL() const { return m_renderer != nullptr; }
    /// Seconds since the view was first shown (0 before), on the window's animation clock.
    double secondsShown() const;

    /// The whole field's opacity, for the splash's fade-out.
    void setFadeOpacity(qreal opacity);
    qreal fadeOpacity() const { return m_fadeOpacity; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void createRenderer();

    SplashScene::Scene m_scene;
    Renderer m_rendererChoice;
    std::unique_ptr<Splash3DRenderer> m_renderer;
    QImage m_frame;            ///< the renderer's latest frame
    bool m_rendererTried = false;
    bool m_started = false;
    double m_startTime = 0.0;
    qreal m_fadeOpacity = 1.0;
};
