#include "inspector/prompt_editor.h"

#include "design/tokens.h"
#include "inspector/panel_widgets.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTextBlock>

namespace {
constexpr qreal FieldRadius = 8;
constexpr int TextInset = 8;
constexpr qreal PlaceholderTop = 16;
constexpr qreal PlaceholderLeading = 14;
constexpr qreal PlaceholderSize = 11;
constexpr qreal TextSize = 12;
} // namespace

PromptEditor::PromptEditor(const QString &placeholder, int minimumHeight, QWidget *parent)
    : QPlainTextEdit(parent)
    , m_placeholder(placeholder)
    , m_border(Tokens::white(0.06))
{
    setFrameShape(QFrame::NoFrame);
    setFont(Tokens::monoFont(TextSize));
    setTabChangesFocus(true);
    setMinimumHeight(minimumHeight);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    document()->setDocumentMargin(TextInset);
    setAccessibleName(placeholder);

    // No background of its own: the rounded field painted behind the viewport shows through.
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::transparent);
    pal.setColor(QPalette::Text, Tokens::white(0.88));
    pal.setColor(QPalette::Highlight, Tokens::white(0.25));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(pal);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 6px; margin: 4px 2px 4px 0; }"
        "QScrollBar::handle:vertical { background: rgba(255,255,255,0.18); border-radius: 2px; min-height: 20px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
}

void PromptEditor::setBorderColour(const QColor &colour)
{
    if (colour == m_border)
        return;
    m_border = colour;
    update();
}

void PromptEditor::replaceText(const QString &text)
{
    if (toPlainText() == text)
        return;
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(text);
    cursor.endEditBlock();
    setTextCursor(cursor);
}

void PromptEditor::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::ShiftModifier) {
        // A plain new line, never the editor's soft line separator: the prompt is plain text.
        textCursor().insertText(QStringLiteral("\n"));
        ensureCursorVisible();
        event->accept();
        return;
    }
    if (enter && modifiers == Qt::NoModifier && m_submitsOnReturn) {
        event->accept();
        Q_EMIT submitted();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

bool PromptEditor::event(QEvent *event)
{
    if (event->type() != QEvent::Paint)
        return QPlainTextEdit::event(event);
    // The editor's own surface (behind the transparent viewport and the scroll bar): the field.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath field;
    field.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), FieldRadius, FieldRadius);
    p.fillPath(field, QColor(0, 0, 0, 77));
    p.setPen(QPen(m_border, 1));
    p.drawPath(field);
    return true;
}

void PromptEditor::paintEvent(QPaintEvent *event)
{
    QPlainTextEdit::paintEvent(event);
    if (document()->isEmpty() && !m_placeholder.isEmpty()) {
        QPainter p(viewport());
        p.setFont(Tokens::uiFont(PlaceholderSize));
        p.setPen(Tokens::white(0.28));
        const QRectF area = QRectF(viewport()->rect()).adjusted(PlaceholderLeading, PlaceholderTop,
                                                                -PlaceholderLeading, 0);
        p.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, m_placeholder);
    }
}
