#include "shell/tavrune_app.h"

#include "design/tokens.h"
#include "shell/content_view.h"
#include "session/session_store.h"
#include "shell/app_commands.h"
#include "shell/main_window.h"
#include "splash/splash_view.h"
#include "state/app_state.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QPalette>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTimer>
#include <QToolTip>

#include <cstdio>
#include <ctime>


TavruneApp::TavruneApp()
    : TavruneApp(Options{})
{
}

TavruneApp::TavruneApp(Options options)
{
    Tokens::registerFonts();
    applyAppearance();
    m_state = std::make_unique<AppState>();
    // Before the window exists: its first paint already shows the restored folders.
    SessionStore::RestoreOutcome restored = SessionStore::RestoreOutcome::skipped;
    if (options.keepSession) {
        m_session = std::make_unique<SessionStore>(m_state.get());
        restored = m_session->restore();
    }
    m_window = std::make_unique<MainWindow>(m_state.get());
    m_window->commands()->bindSessionStore(m_session.get());
    MainWindow *window = m_window.get();
    m_state->setFolderChooser([window] { return chooseFolders(window); });
    if (options.showSplash)
        m_window->contentView()->startSplash(new SplashView(SplashView::Options{options.splashSeed, {}}));
    if (restored == SessionStore::RestoreOutcome::discarded) {
        // A toast lasts 3 s: shown behind the splash it would be gone before anyone could read it.
        AppState *state = m_state.get();
        const auto tell = [state] { state->showToast(Toast::Kind::info, SessionStore::couldNotRestoreMessage()); };
        if (m_window->contentView()->showSplash())
            connect(m_window->contentView(), &ContentView::splashFinished, m_state.get(), tell, Qt::SingleShotConnection);
        else
            tell();
    }
}

TavruneApp::~TavruneApp()
{
    // Running generations stop first, putting their folders back as they were: the session then
    // keeps those, and nothing of a pending request can reach the state once it is gone.
    m_state->stopGenerating(true);
    // Applies and resets still queued finish, and the folders say so in the session.
    m_state->finishFolderWork();
    // The session is written while the state still holds everything; the window reads the state until it is gone.
    m_session.reset();
    m_window.reset();
    m_state.reset();
}

void TavruneApp::show()
{
    // The start-up benchmark (bench/window) asks for the moment of the first painted frame.
    if (qEnvironmentVariableIsSet("TAVRUNE_PROBE_FIRST_PAINT"))
        installFirstPaintProbe(m_window.get());
    m_window->show();
}

void TavruneApp::installFirstPaintProbe(QWidget *window)
{
    /// Prints "first-paint <CLOCK_MONOTONIC ns>" once the window's first frame is painted and
    /// flushed (whichever of its widgets paints first: the splash covers the rest), then quits.
    class Probe final : public QObject
    {
    public:
        Probe(QWidget *window)
            : QObject(window)
            , m_window(window)
        {
        }

    protected:
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() != QEvent::Paint || m_seen || !watched->isWidgetType()
                || static_cast<QWidget *>(watched)->window() != m_window)
                return false;
            m_seen = true;
            // The rest of the frame is painted and flushed before the event loop runs this.
            QTimer::singleShot(0, qApp, [] {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                std::printf("first-paint %lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
            return false;
        }

    private:
        QWidget *m_window;
        bool m_seen = false;
    };
    qApp->installEventFilter(new Probe(window));
}

void TavruneApp::applyAppearance()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette pal;
    const QColor window = Tokens::windowBackground();
    const QColor base(0x16, 0x16, 0x16);
    const QColor text = Tokens::menuText();
    pal.setColor(QPalette::Window, window);
    pal.setColor(QPalette::WindowText, text);
    pal.setColor(QPalette::Base, base);
    pal.setColor(QPalette::AlternateBase, QColor(0x1a, 0x1a, 0x1a));
    pal.setColor(QPalette::Text, text);
    pal.setColor(QPalette::Button, QColor(0x22, 0x22, 0x22));
    pal.setColor(QPalette::ButtonText, text);
    pal.setColor(QPalette::BrightText, Qt::white);
    pal.setColor(QPalette::ToolTipBase, Tokens::menuBackground());
    pal.setColor(QPalette::ToolTipText, text);
    pal.setColor(QPalette::PlaceholderText, Tokens::white(0.35));
    pal.setColor(QPalette::Highlight, ThemePreset::defaultTheme().palette.accent);
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::Link, ThemePreset::defaultTheme().palette.accent);
    pal.setColor(QPalette::Light, QColor(0x3a, 0x3a, 0x3a));
    pal.setColor(QPalette::Midlight, QColor(0x2a, 0x2a, 0x2a));
    pal.setColor(QPalette::Mid, QColor(0x20, 0x20, 0x20));
    pal.setColor(QPalette::Dark, QColor(0x08, 0x08, 0x08));
    pal.setColor(QPalette::Shadow, Qt::black);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(QPalette::Disabled, role, Tokens::disabledText());
    QApplication::setPalette(pal);
    QToolTip::setPalette(pal);
    QApplication::setFont(Tokens::bodyFont());
}

QList<QUrl> TavruneApp::chooseFolders(QWidget *parent)
{
    QFileDialog dialog(parent, tr("Select folders to generate icons for"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // The platform dialogs choose one directory at a time; Qt's own dialog can take several once
    // its views allow extended selection.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setLabelText(QFileDialog::Accept, tr("Add Folders"));
    dialog.setDirectory(QStandardPaths::writableLocation(QStandardPaths::HomeLocation));
    dialog.setWindowModality(Qt::WindowModal);
    // The file views only: the places sidebar keeps choosing one place at a time.
    for (const QString &name : {QStringLiteral("listView"), QStringLiteral("treeView")}) {
        if (auto *view = dialog.findChild<QAbstractItemView *>(name))
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    QList<QUrl> urls;
    for (const QString &path : dialog.selectedFiles()) {
        // Directory URLs end with a slash, which is how the state tells folders from files.
        QUrl url = QUrl::fromLocalFile(path);
        if (!url.path().endsWith(QLatin1Char('/')))
            url.setPath(url.path() + QLatin1Char('/'));
        urls.append(url);
    }
    return urls;
}
