#include "shell/content_view.h"

#include "design/animation_clock.h"
#include "design/spring.h"
#include "design/accessible_widgets.h"
#include "design/toast_view.h"
#include "design/tokens.h"
#include "keys/keychain_service.h"
#include "state/app_state.h"

#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QPaintEvent>
#include <QPainter>
#include <QStackedWidget>

namespace {
constexpr int PanelWidth = Tokens::InspectorWidth + Tokens::InspectorSeparatorWidth; // 321
// The toast enters on a spring and leaves on a short ease-out, as the state's toast timing expects.
const Spring ToastEntrance{0.35, 0.8};
constexpr double ToastExitSeconds = 0.25;
constexpr int ToastSideMargin = 40;

/// The inspector panel: a 1 px separator, then the body with its slot.
class InspectorFrame final : public QWidget
{
public:
    explicit InspectorFrame(QWidget *parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        slot = new QStackedWidget(this);
        slot->setObjectName(QStringLiteral("inspectorSlot"));
        // An empty page until the inspector adds its own.
        slot->addWidget(new QWidget(slot));
    }

    QStackedWidget *slot;

protected:
    void resizeEvent(QResizeEvent *) override
    {
        slot->setGeometry(Tokens::InspectorSeparatorWidth, 0, Tokens::InspectorWidth, height());
    }
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        // The separator is white at 6 % over the grid beneath; the grid is dark, so it is painted
        // over the window colour (the panel is opaque to keep the repaint cheap).
        p.fillRect(QRect(0, 0, Tokens::InspectorSeparatorWidth, height()), Tokens::windowBackground());
        p.fillRect(QRect(0, 0, Tokens::InspectorSeparatorWidth, height()), Tokens::panelSeparator());
        p.fillRect(QRect(Tokens::InspectorSeparatorWidth, 0, Tokens::InspectorWidth, height()),
                   Tokens::panelBackground());
    }
};
} // namespace

double ContentView::Motion::valueAt(double now) const
{
    const double t = now - start;
    double p = 1.0;
    switch (curve) {
    case Curve::easeInOut:
        p = duration > 0.0 ? easeInOut(t / duration) : 1.0;
        break;
    case Curve::easeOut:
        p = duration > 0.0 ? easeOut(t / duration) : 1.0;
        break;
    case Curve::spring:
        p = ToastEntrance.progress(t);
        break;
    }
    return mix(from, to, p);
}

double ContentView::Motion::end() const
{
    return start + (curve == Curve::spring ? ToastEntrance.settleTime() : duration);
}

ContentView::ContentView(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    AccessibleWidgets::install();

    m_grid = new QWidget(this);
    m_grid->setObjectName(QStringLiteral("gridPlaceholder"));

    auto *frame = new InspectorFrame(this);
    frame->setObjectName(QStringLiteral("inspectorPanel"));
    m_inspectorFrame = frame;
    m_inspectorSlot = frame->slot;

    m_toast = new ToastView(this);
    m_toast->hide();

    // The panel starts where the state puts it, without sliding in at launch.
    m_inspectorMotion.from = m_inspectorMotion.to = inspectorWanted() ? 0.0 : PanelWidth;
    m_inspectorFrame->setVisible(inspectorWanted());

    connect(state, &AppState::isInspectorVisibleChanged, this, &ContentView::onInspectorConditionChanged);
    connect(state, &AppState::selectedFolderIDsChanged, this, &ContentView::onInspectorConditionChanged);
    connect(state, &AppState::activeToastChanged, this, &ContentView::onToastChanged);
    connect(&AnimationClock::instance(), &AnimationClock::ticked, this, &ContentView::layoutLayers);
    onToastChanged();
}

ContentView::~ContentView() = default;

void ContentView::setGridView(QWidget *grid)
{
    if (!grid || grid == m_grid)
        return;
    delete m_grid;
    m_grid = grid;
    grid->setParent(this);
    grid->lower();
    grid->show();
    // Under the splash the grid takes no clicks, drops, keys or focus; it gets them as the splash goes.
    grid->setEnabled(!m_showSplash);
    // The grid is where the keyboard works on folders: it starts with the focus.
    if (!m_showSplash && grid->focusPolicy() != Qt::NoFocus)
        grid->setFocus(Qt::OtherFocusReason);
    layoutLayers();
}

bool ContentView::inspectorWanted() const
{
    return m_state && m_state->isInspectorVisible() && !m_state->selectedFolderIDs().isEmpty();
}

double ContentView::inspectorOffset() const
{
    return m_inspectorMotion.valueAt(AnimationClock::instance().now());
}

double ContentView::toastPresence() const
{
    return m_toastMotion.valueAt(AnimationClock::instance().now());
}

void ContentView::startMotion(Motion &motion, double to, double duration, Motion::Curve curve)
{
    AnimationClock &clock = AnimationClock::instance();
    const double now = clock.now();
    // A motion interrupted halfway starts again from where it is, so nothing jumps.
    motion.from = motion.valueAt(now);
    motion.to = to;
    motion.start = now;
    motion.duration = duration;
    motion.curve = curve;
    clock.animate(this, motion.end());
    layoutLayers();
}

void ContentView::onInspectorConditionChanged()
{
    const double target = inspectorWanted() ? 0.0 : PanelWidth;
    if (target == m_inspectorMotion.to)
        return;
    startMotion(m_inspectorMotion, target, Tokens::InspectorSlideSeconds, Motion::Curve::easeInOut);
}

void ContentView::onToastChanged()
{
    if (!m_state)
        return;
    if (const std::optional<Toast> toast = m_state->activeToast()) {
        // A replaced toast swaps its content in place; only a toast arriving from nothing slides in.
        m_toast->setToast(*toast);
        if (m_toastMotion.to < 1.0)
            startMotion(m_toastMotion, 1.0, 0.0, Motion::Curve::spring);
        else
            layoutLayers();
    } else if (m_toastMotion.to > 0.0) {
        // The leaving toast keeps its last message while it slides out.
        startMotion(m_toastMotion, 0.0, ToastExitSeconds, Motion::Curve::easeOut);
    }
}

void ContentView::startSplash(QWidget *splash, std::chrono::milliseconds hold, double fadeSeconds)
{
    if (!splash)
        return;
    delete m_splash;
    m_splash = splash;
    splash->setParent(this);
    // The splash is a picture: screen readers skip it, and it holds back the input meant for
    // the grid beneath until it is gone.
    AccessibleWidgets::setSkipped(splash);
    splash->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    if (m_grid) {
        m_grid->setEnabled(false);
        m_focusDuringSplash = window()->focusWidget();
    }
    splash->setGeometry(rect());
    splash->raise();
    splash->show();
    m_showSplash = true;
    m_splashFading = false;
    m_splashFadeSeconds = fadeSeconds;
    m_splashHold = std::chrono::duration<double>(hold).count();
    m_splashHoldEnd.reset();
    if (m_shownOnce)
        startSplashHold();
}

void ContentView::startSplashHold()
{
    // One shot, never cancelled: the fade starts at exactly hold seconds after the first show, on
    // the clock every animation of the window reads. The splash repaints until then, which keeps
    // the clock ticking and brings layoutLayers() round to start the fade.
    AnimationClock &clock = AnimationClock::instance();
    m_splashHoldEnd = clock.now() + m_splashHold;
    clock.animate(m_splash, *m_splashHoldEnd);
}

void ContentView::beginSplashFade(double start)
{
    m_splashHoldEnd.reset();
    if (!m_splash) {
        m_showSplash = false;
        enableGridAfterSplash();
        return;
    }
    if (m_splash->metaObject()->indexOfProperty("fadeOpacity") < 0) {
        auto *effect = new QGraphicsOpacityEffect(m_splash);
        effect->setOpacity(1.0);
        m_splash->setGraphicsEffect(effect);
    }
    m_splashFading = true;
    m_splashFade = Motion{};
    m_splashFade.from = 1.0;
    m_splashFade.to = 0.0;
    m_splashFade.start = start;
    m_splashFade.duration = m_splashFadeSeconds;
    m_splashFade.curve = Motion::Curve::easeInOut;
    // The content beneath shows through more each frame: all of it repaints until the fade ends.
    AnimationClock::instance().animate(this, m_splashFade.end());
}

void ContentView::enableGridAfterSplash()
{
    if (!m_grid || m_grid->isEnabled())
        return;
    m_grid->setEnabled(true);
    // The keyboard lands on the folders, unless the user has moved it elsewhere meanwhile.
    QWidget *focus = window()->focusWidget();
    if (m_grid->focusPolicy() != Qt::NoFocus && (!focus || focus == m_focusDuringSplash || !focus->isEnabled()))
        m_grid->setFocus(Qt::OtherFocusReason);
}

void ContentView::layoutLayers()
{
    const double now = AnimationClock::instance().now();
    const QRect bounds = rect();
    if (m_grid && m_grid->geometry() != bounds)
        m_grid->setGeometry(bounds);

    const double offset = m_inspectorMotion.valueAt(now);
    const QRect panel(bounds.width() - PanelWidth + qRound(offset), 0, PanelWidth, bounds.height());
    if (m_inspectorFrame->geometry() != panel)
        m_inspectorFrame->setGeometry(panel);
    // Fully out of the window the panel is hidden, so Tab never walks into it; it stays in the tree.
    const bool panelVisible = offset < PanelWidth - 0.5 || m_inspectorMotion.to < PanelWidth;
    if (m_inspectorFrame->isVisibleTo(this) != panelVisible)
        m_inspectorFrame->setVisible(panelVisible);

    const double presence = m_toastMotion.valueAt(now);
    if (presence <= 0.0 && m_toastMotion.to <= 0.0) {
        m_toast->hide();
    } else {
        m_toast->setMaximumCapsuleWidth(bounds.width() - 2 * ToastSideMargin);
        const QRectF capsule = m_toast->capsuleRect();
        const QSize size = m_toast->sizeHint();
        const double restingTop = bounds.height() - Tokens::ToastBottomMargin - capsule.height();
        const double travel = Tokens::ToastBottomMargin + capsule.height();
        const double top = restingTop + (1.0 - presence) * travel;
        const QPoint at(qRound(bounds.width() / 2.0 - capsule.center().x()), qRound(top - capsule.top()));
        const QRect geometry(at, size);
        if (m_toast->geometry() != geometry)
            m_toast->setGeometry(geometry);
        m_toast->setOpacity(std::clamp(presence, 0.0, 1.0));
        if (!m_toast->isVisible())
            m_toast->show();
        m_toast->raise();
    }

    if (m_splash && m_splashHoldEnd && now >= *m_splashHoldEnd)
        beginSplashFade(*m_splashHoldEnd);
    if (m_splash) {
        if (m_splash->geometry() != bounds)
            m_splash->setGeometry(bounds);
        m_splash->raise();
        if (m_splashFading) {
            const double opacity = std::clamp(m_splashFade.valueAt(now), 0.0, 1.0);
            if (auto *effect = qobject_cast<QGraphicsOpacityEffect *>(m_splash->graphicsEffect()))
                effect->setOpacity(opacity);
            else
                m_splash->setProperty("fadeOpacity", opacity);
            if (now >= m_splashFade.end()) {
                m_splashFading = false;
                m_showSplash = false;
                m_splash->hide();
                m_splash->deleteLater();
                m_splash = nullptr;
                enableGridAfterSplash();
                Q_EMIT splashFinished();
            }
        }
    }
}

void ContentView::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    p.fillRect(event->rect(), Tokens::windowBackground());
}

void ContentView::resizeEvent(QResizeEvent *)
{
    layoutLayers();
}

void ContentView::showEvent(QShowEvent *)
{
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    if (m_splash)
        startSplashHold();
    // A missing, unreadable or non-text key is no error: it opens the onboarding sheet. So does a
    // keyring that could not be read, the sheet saying so. The keyring may answer after the window shows.
    if (m_state) {
        QFuture<KeychainService::Lookup> lookup = KeychainService::shared().lookup();
        const auto decide = [state = QPointer<AppState>(m_state)](const KeychainService::Lookup &found) {
            if (state && !found.key)
                state->setShowOnboarding(true);
        };
        if (lookup.isFinished())
            decide(lookup.result());
        else
            lookup.then(QCoreApplication::instance(), decide);
    }
    layoutLayers();
}
