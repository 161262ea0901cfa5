#include "onboarding/onboarding_sheet.h"

#include "design/symbols.h"
#include "design/tokens.h"
#include "inspector/busy_spinner.h"
#include "inspector/panel_widgets.h"
#include "openrouter/image_generation_service.h"
#include "keys/keychain_service.h"
#include "state/app_state.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include <utility>

namespace {

const char *const ConnectedText = QT_TRANSLATE_NOOP("OnboardingSheet", "Connected");
const char *const SaveFailedText = QT_TRANSLATE_NOOP("OnboardingSheet", "Could not save the API key");

// The sheet's own surface: a step lighter than the window so it reads as a layer above it.
const QColor SheetBackground = colorFromHex(u"1c1c1c");
// The badge gradient, top-leading to bottom-trailing.
const QColor BadgeTop = colorFromHex(u"a78bfa");
const QColor BadgeBottom = colorFromHex(u"6366f1");
constexpr qreal SecondaryOpacity = 0.55; // secondary text
constexpr int BadgeEdge = 64;

QString css(const QColor &c)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF());
}

/// The round gradient badge with the folder-and-gear symbol.
class Badge final : public QWidget
{
public:
    explicit Badge(QWidget *parent) : QWidget(parent) { setFixedSize(BadgeEdge, BadgeEdge); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient gradient(rect().topLeft(), rect().bottomRight());
        gradient.setColorAt(0, BadgeTop);
        gradient.setColorAt(1, BadgeBottom);
        p.setPen(Qt::NoPen);
        p.setBrush(gradient);
        p.drawEllipse(QRectF(rect()));
        Symbols::paint(p, QRectF(rect()), u"folder.fill.badge.gearshape", 28, Qt::white);
    }
};

QPushButton *makeButton(const QString &text, const QString &style, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFont(Tokens::uiFont(13, QFont::Medium));
    button->setStyleSheet(style);
    button->setCursor(Qt::PointingHandCursor);
    // Return belongs to Save & Continue wherever the focus is.
    button->setAutoDefault(false);
    // Clicking keeps the focus in the key field; Tab still reaches every button.
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

} // namespace

OnboardingSheet::OnboardingSheet(AppState *state, QWidget *parent)
    : QDialog(parent)
    , m_state(state)
{
    setWindowTitle(tr("OpenRouter API Key"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(SheetSize);
    setSizeGripEnabled(false);
    setAutoFillBackground(false);
    const QColor accent = Tokens::accent(*m_state);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // Header.
    auto *header = new QVBoxLayout;
    header->setContentsMargins(0, 32, 0, 24);
    header->setSpacing(12);
    header->addWidget(new Badge(this), 0, Qt::AlignHCenter);
    header->addWidget(makeLabel(tr("Welcome to Tavrune"), Tokens::uiFont(17, QFont::DemiBold), Qt::white, this),
                      0, Qt::AlignHCenter);
    header->addWidget(makeLabel(tr("AI-powered folder icon generation for Linux"), Tokens::bodyFont(),
                                Tokens::white(SecondaryOpacity), this),
                      0, Qt::AlignHCenter);
    root->addLayout(header);
    root->addWidget(new DividerLine(Tokens::white(0.1), this));

    // Key section.
    auto *section = new QVBoxLayout;
    section->setContentsMargins(24, 24, 24, 24);
    section->setSpacing(16);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(6);
    texts->addWidget(makeLabel(tr("OpenRouter API Key"), Tokens::uiFont(13, QFont::DemiBold), Qt::white, this));
    texts->addWidget(makeLabel(tr("Tavrune uses OpenRouter with Google's Gemini 2.5 Flash Image (aka Nano "
                                              "Banana) model to generate custom folder icons. Your API key is stored "
                                              "locally on this computer."),
                               Tokens::uiFont(12), Tokens::white(SecondaryOpacity), this, true));
    section->addLayout(texts);

    m_keyField = new QLineEdit(this);
    m_keyField->setEchoMode(QLineEdit::Password);
    m_keyField->setAccessibleName(tr("OpenRouter API Key"));
    m_keyField->setPlaceholderText(QStringLiteral("sk-or-..."));
    m_keyField->setFont(Tokens::monoFont(13));
    m_keyField->setStyleSheet(QStringLiteral("QLineEdit { background: %1; color: white; border: 1px solid %2;"
                                             " border-radius: 6px; padding: 5px 8px; selection-background-color: %4; }"
                                             "QLineEdit:focus { border-color: %3; }")
                                  .arg(css(QColor(0, 0, 0, 77)), css(Tokens::white(0.15)), css(Tokens::withOpacity(accent, 0.8)),
                                       css(Tokens::withOpacity(accent, 0.5))));
    // Where the key is kept, close under the field it describes.
    m_storageNote = makeLabel(QString(), Tokens::uiFont(11), Tokens::white(SecondaryOpacity), this, true);
    m_storageNote->hide();
    auto *field = new QVBoxLayout;
    field->setSpacing(6);
    field->addWidget(m_keyField);
    field->addWidget(m_storageNote);
    section->addLayout(field);

    auto *testRow = new QHBoxLayout;
    testRow->setSpacing(12);
    m_testButton = makeButton(tr("Test Connection"),
                              QStringLiteral("QPushButton { background: %1; color: %3; border: 1px solid %2;"
                                             " border-radius: 6px; padding: 4px 12px; }"
                                             "QPushButton:pressed { background: %2; }"
                                             "QPushButton:disabled { color: %4; }"
                                             "QPushButton:focus { border-color: %5; }")
                                  .arg(css(Tokens::white(0.08)), css(Tokens::white(0.15)), css(Tokens::white(0.85)), css(Tokens::white(0.3)),
                                       css(Tokens::withOpacity(accent, 0.8))),
                              this);
    testRow->addWidget(m_testButton);
    m_spinner = new BusySpinnerWidget(16, this);
    m_spinner->hide();
    testRow->addWidget(m_spinner);
    m_resultSymbol = makeSymbolLabel(u"checkmark.circle.fill", 14, Tokens::green(), this);
    m_resultSymbol->setFixedWidth(16);
    m_resultSymbol->hide();
    // The outcome is one label: its symbol sits close to its text.
    auto *result = new QHBoxLayout;
    result->setSpacing(5);
    result->addWidget(m_resultSymbol);
    m_resultText = makeLabel(QString(), Tokens::uiFont(12), Tokens::green(), this, true);
    // At most two lines: a long message is cut rather than pushing the footer away.
    m_resultText->setMaximumHeight(2 * m_resultText->fontMetrics().lineSpacing());
    m_resultText->hide();
    result->addWidget(m_resultText, 1);
    testRow->addLayout(result, 1);
    section->addLayout(testRow);
    root->addLayout(section);

    root->addStretch(1);
    root->addWidget(new DividerLine(Tokens::white(0.1), this));

    // Footer.
    auto *footer = new QHBoxLayout;
    footer->setContentsMargins(20, 20, 20, 20);
    m_skipButton = makeButton(tr("Skip for Now"),
                              QStringLiteral("QPushButton { background: transparent; color: %1; border: 1px solid transparent;"
                                             " border-radius: 6px; padding: 4px 6px; }"
                                             "QPushButton:pressed { color: white; }"
                                             "QPushButton:focus { border-color: %2; }")
                                  .arg(css(Tokens::white(SecondaryOpacity)), css(Tokens::withOpacity(accent, 0.8))),
                              this);
    footer->addWidget(m_skipButton);
    footer->addStretch(1);
    m_saveError = makeLabel(tr(SaveFailedText), Tokens::uiFont(12), Tokens::red(), this);
    m_saveError->hide();
    footer->addWidget(m_saveError);
    m_saveButton = makeButton(tr("Save && Continue"),
                              QStringLiteral("QPushButton { background: %1; color: white; border: 1px solid %1;"
                                             " border-radius: 6px; padding: 5px 14px; }"
                                             "QPushButton:pressed { background: %2; }"
                                             "QPushButton:disabled { background: %3; border-color: %3; color: %4; }"
                                             "QPushButton:focus { border-color: white; }")
                                  .arg(css(accent), css(accent.darker(120)), css(Tokens::withOpacity(accent, 0.3)),
                                       css(Tokens::white(0.45))),
                              this);
    footer->addWidget(m_saveButton);
    root->addLayout(footer);

    connect(m_keyField, &QLineEdit::textChanged, this, [this] {
        m_saveError->hide();
        // Another key: what the stored one has left says nothing about it.
        if (std::exchange(m_showsStoredCredit, false))
            showOutcome(TestOutcome::none, QString());
        updateControls();
    });
    connect(m_testButton, &QPushButton::clicked, this, &OnboardingSheet::testConnection);
    connect(m_skipButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_saveButton, &QPushButton::clicked, this, &OnboardingSheet::saveAndContinue);

    if (const std::optional<QString> stored = KeychainService::shared().load()) {
        m_keyField->setText(*stored);
        // Checked at start (or after the last batch): shown without a test.
        if (const std::optional<double> credit = m_state->keyCreditLeft()) {
            showOutcome(TestOutcome::success, successText(KeyCheck{.failure = {}, .limitRemaining = credit}));
            m_showsStoredCredit = true;
        }
    }
    connect(&KeychainService::shared(), &KeychainService::changed, this, &OnboardingSheet::updateStorageNote);
    updateStorageNote();
    updateControls();
    m_keyField->setFocus();
}

OnboardingSheet::~OnboardingSheet() = default;

QString OnboardingSheet::apiKey() const
{
    return m_keyField->text();
}

QString OnboardingSheet::testResultText() const
{
    return m_outcome == TestOutcome::none ? QString() : m_resultText->text();
}

QString OnboardingSheet::saveErrorText() const
{
    return m_saveError->isHidden() ? QString() : m_saveError->text();
}

void OnboardingSheet::testConnection()
{
    if (apiKey().isEmpty() || m_testing)
        return;
    m_testing = true;
    m_showsStoredCredit = false;
    showOutcome(TestOutcome::none, QString());
    const quint64 serial = ++m_testSerial;
    // The answer comes back on the UI thread through the application object, which outlives every
    // sheet (Qt 6.4 asserts when a continuation's own context dies first); a sheet closed
    // meanwhile is gone from the QPointer, and the answer goes nowhere.
    QPointer<OnboardingSheet> self(this);
    QObject *const app = QCoreApplication::instance();
    ImageGenerationService::shared().checkKey(apiKey()).then(app, [self, serial](const KeyCheck &check) {
        if (!self || serial != self->m_testSerial)
            return;
        self->m_testing = false;
        if (check.failure.isEmpty()) {
            self->m_state->setKeyCreditLeft(check.limitRemaining);
            self->showOutcome(TestOutcome::success, successText(check));
        } else {
            self->showOutcome(TestOutcome::failure, check.failure);
        }
        Q_EMIT self->testFinished();
    });
}

QString OnboardingSheet::storageNoteText() const
{
    return m_storageNote->isHidden() ? QString() : m_storageNote->text();
}

QString OnboardingSheet::successText(const KeyCheck &check)
{
    if (check.limitRemaining)
        return tr("%1 · %2 left on this key").arg(tr(ConnectedText), QStringLiteral("$") + QString::number(*check.limitRemaining, 'f', 2));
    if (check.unlimited)
        return tr("%1 · No spending limit on this key").arg(tr(ConnectedText));
    return tr(ConnectedText);
}

void OnboardingSheet::saveAndContinue()
{
    if (apiKey().isEmpty() || m_saving)
        return;
    m_saving = true;
    updateControls();
    // The key is kept exactly as typed: a key that really has spaces must keep them. The keyring
    // answers later; the file at once. A failed store leaves the stored key as it was.
    QPointer<OnboardingSheet> self(this);
    const auto done = [self](const KeychainService::StoreResult &result) {
        if (!self)
            return;
        self->m_saving = false;
        self->updateControls();
        if (!result.stored) {
            self->m_saveError->setText(result.location == KeychainService::Location::keyring
                                           ? tr("Could not store the API key in the keyring")
                                           : tr(SaveFailedText));
            self->m_saveError->show();
            return;
        }
        self->accept();
    };
    QFuture<KeychainService::StoreResult> stored = KeychainService::shared().store(apiKey());
    if (stored.isFinished())
        done(stored.result());
    else
        stored.then(QCoreApplication::instance(), done);
}

void OnboardingSheet::updateStorageNote()
{
    const KeychainService &keys = KeychainService::shared();
    const QFuture<KeychainService::Lookup> lookup = keys.lookup();
    QString text;
    bool failure = false;
    if (keys.isStarted() && lookup.isFinished() && lookup.result().failed && !keys.load()) {
        text = tr("Could not read the API key from the keyring");
        failure = true;
    } else if (keys.load()) {
        text = keys.location() == KeychainService::Location::keyring ? tr("Stored in your keyring")
                                                                     : tr("Stored in a private file on this computer");
    }
    m_storageNote->setText(text);
    setTextColour(m_storageNote, failure ? Tokens::red() : Tokens::white(SecondaryOpacity));
    m_storageNote->setVisible(!text.isEmpty());
}

void OnboardingSheet::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::NoModifier) {
        if (m_saveButton->isEnabled())
            saveAndContinue();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event); // Escape rejects: Skip for Now.
}

void OnboardingSheet::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), SheetBackground);
}

void OnboardingSheet::updateControls()
{
    const bool hasKey = !apiKey().isEmpty();
    m_testButton->setEnabled(hasKey && !m_testing);
    m_saveButton->setEnabled(hasKey && !m_saving);
    m_spinner->setVisible(m_testing);
}

void OnboardingSheet::showOutcome(TestOutcome outcome, const QString &message)
{
    m_outcome = outcome;
    const bool shown = outcome != TestOutcome::none;
    const QColor colour = outcome == TestOutcome::success ? Tokens::green() : Tokens::red();
    setSymbol(m_resultSymbol, outcome == TestOutcome::success ? u"checkmark.circle.fill" : u"exclamationmark.circle.fill");
    setTextColour(m_resultSymbol, colour);
    setTextColour(m_resultText, colour);
    m_resultText->setText(message);
    m_resultSymbol->setVisible(shown);
    m_resultText->setVisible(shown);
    updateControls();
}

// --- OnboardingPresenter -------------------------------------------------------------------------

OnboardingPresenter::OnboardingPresenter(AppState *state, QWidget *window)
    : QObject(window)
    , m_state(state)
    , m_window(window)
{
    connect(m_state, &AppState::showOnboardingChanged, this, [this] {
        if (m_state->showOnboarding())
            present();
        else if (m_sheet)
            m_sheet->reject();
    });
    if (m_state->showOnboarding())
        present();
}

void OnboardingPresenter::present()
{
    if (m_sheet || !m_window)
        return;
    auto *sheet = new OnboardingSheet(m_state, m_window);
    m_sheet = sheet;
    connect(sheet, &QDialog::finished, this, [this, sheet] {
        if (m_sheet == sheet)
            m_sheet = nullptr;
        sheet->deleteLater();
        m_state->setShowOnboarding(false);
    });
    sheet->open();
    Q_EMIT sheetShown(sheet);
}
