#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <optional>

class AppState;
class QStackedWidget;
class ToastView;

/// @brief The window's content, layered back to front: background, the folder grid or list, the
/// sliding inspector panel, the toast, and the splash while it shows.
///
/// Hooks for the other areas of the window:
/// - setGridView(): the grid/list widget, filling the whole view (the inspector lies over its right
///   part; the grid is not narrowed).
/// - inspectorSlot(): the 320 px body of the inspector panel; the inspector adds its panel there.
/// - startSplash(): lays a splash widget over everything and runs the splash phase (hold, then a
///   cross-fade, then the splash is deleted). A splash widget with a `fadeOpacity` property (qreal)
///   is faded through it (it may hold a native 3D view that graphics effects cannot fade); any
///   other widget gets a QGraphicsOpacityEffect.
/// At its first show the view loads the stored API key; without one it sets showOnboarding, and
/// whoever presents the onboarding sheet follows that flag.
class ContentView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ContentView)

public:
    explicit ContentView(AppState *state, QWidget *parent = nullptr);
    ~ContentView() override;

    /// Replaces the grid area (the previous one is deleted). Takes ownership.
    void setGridView(QWidget *grid);
    QWidget *gridView() const { return m_grid; }

    /// The panel body's container (320 px wide, full height, #111111).
    QStackedWidget *inspectorSlot() const { return m_inspectorSlot; }
    /// The whole sliding panel: the 1 px separator and the body.
    QWidget *inspectorPanel() const { return m_inspectorFrame; }
    /// Whether the panel is meant to be shown: the inspector is on and something is selected.
    bool inspectorWanted() const;
    /// How far the panel is pushed right, 0 (shown) to 321 (hidden), at this moment.
    double inspectorOffset() const;

    ToastView *toastView() const { return m_toast; }
    /// The toast's presence right now: 0 gone, 1 fully in (the entrance spring may overshoot a little).
    double toastPresence() const;

    /// Lays `splash` over everything; the phase starts at the view's first show (or now, if shown).
    /// `hold` is how long it stays before the fade starts; `fadeSeconds` how long the fade takes.
    /// Both run on the window's animation clock, so a test moves through the phase without waiting.
    void startSplash(QWidget *splash, std::chrono::milliseconds hold = std::chrono::milliseconds(4500),
                     double fadeSeconds = 1.0);
    /// The splash while it is shown (null before and after).
    QWidget *splash() const { return m_splash; }
    /// True from startSplash() until the splash is removed.
    bool showSplash() const { return m_showSplash; }

Q_SIGNALS:
    /// The splash has faded out and been removed.
    void splashFinished();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    /// A value moving from `from` to `to`, read at the clock's time.
    struct Motion
    {
        enum class Curve { easeInOut, easeOut, spring };
        double from = 0.0;
        double to = 0.0;
        double start = -1e9;
        double duration = 0.0;
        Curve curve = Curve::easeInOut;
        double valueAt(double now) const;
        double end() const;
    };

    void startMotion(Motion &motion, double to, double duration, Motion::Curve curve);
    void onInspectorConditionChanged();
    void onToastChanged();
    void beginSplashFade(double start);
    void startSplashHold();
    /// Gives the grid back its input (and the focus) once the splash is gone.
    void enableGridAfterSplash();
    /// Places every layer for the current time; called on resize and each animation frame.
    void layoutLayers();

    QPointer<AppState> m_state;
    QWidget *m_grid = nullptr;
    QWidget *m_inspectorFrame = nullptr;
    QStackedWidget *m_inspectorSlot = nullptr;
    ToastView *m_toast = nullptr;
    Motion m_inspectorMotion;
    Motion m_toastMotion;

    QPointer<QWidget> m_splash;
    /// Where the focus went when the splash took it from the grid.
    QPointer<QWidget> m_focusDuringSplash;
    bool m_showSplash = false;
    double m_splashHold = 4.5;
    std::optional<double> m_splashHoldEnd;
    double m_splashFadeSeconds = 1.0;
    Motion m_splashFade;
    bool m_splashFading = false;
    bool m_shownOnce = false;
};
