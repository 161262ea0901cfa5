#pragma once

#include "splash/splash_scene_view.h"

#include <QImage>
#include <QRectF>
#include <QWidget>

#include <optional>

/// @brief The launch screen laid over the window at start: the near-black backdrop, the drifting
/// 3D field, a soft violet glow, the name with its folder symbol, the subtitle and the version tag,
/// all fading in on their own delays.
///
/// The entrance is a pure function of the time since the view was first shown on the window's
/// animation clock. The view takes no input and reads no application state. `fadeOpacity` fades
/// the whole splash, field included, when the window takes it away.
class SplashView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SplashView)
    Q_PROPERTY(qreal fadeOpacity READ fadeOpacity WRITE setFadeOpacity)

public:
    struct Options
    {
        /// A fixed arrangement of the field (screenshots, tests); none draws a new one each time.
        std::optional<quint32> seed = std::nullopt;
        SplashSceneView::Renderer renderer = SplashSceneView::Renderer::automatic;
    };

    explicit SplashView(QWidget *parent = nullptr);
    explicit SplashView(const Options &options, QWidget *parent = nullptr);
    ~SplashView() override;

    SplashSceneView *sceneView() const { return m_scene; }

    /// Seconds since the first show (0 before), on the window's animation clock.
    double secondsShown() const;
    // The entrance's state at this moment: 0, 0, 0.8, 0 at first and 1, 1, 1, 1 once it is over.
    qreal titleOpacity() const;
    qreal subtitleOpacity() const;
    qreal glowScale() const;
    qreal glowOpacity() const;
    /// When the last of the entrance has arrived, in seconds after the first show.
    static constexpr double EntranceSeconds = 2.4;

    qreal fadeOpacity() const { return m_fadeOpacity; }
    void setFadeOpacity(qreal opacity);

    /// Where each part of the centre block and the footer sits in a view of `size`.
    struct Layout
    {
        QRectF glow;     ///< at full scale
        QRectF symbol;
        QRectF title;
        QRectF subtitle;
        QRectF version;
    };
    static Layout layout(const QSizeF &size);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    friend class SplashOverlay;
    void paintOverlay(QPainter &p);
    const QImage &glowImage(qreal devicePixelRatio);
    void updateOpaqueness();

    SplashSceneView *m_scene = nullptr;
    QWidget *m_overlay = nullptr;
    QImage m_glow;
    bool m_started = false;
    bool m_firstPainted = false;
    double m_startTime = 0.0;
    qreal m_fadeOpacity = 1.0;
};
