#pragma once

#include <QColor>
#include <QPlainTextEdit>

/// @brief The prompt text editor of both inspectors: monospaced text on a dark rounded field, a
/// placeholder while empty, and (optionally) Return to submit with Shift+Return for a new line.
class PromptEditor final : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PromptEditor)

public:
    PromptEditor(const QString &placeholder, int minimumHeight, QWidget *parent = nullptr);

    /// Return submits (the key is consumed); Shift+Return still inserts a new line.
    void setSubmitsOnReturn(bool submits) { m_submitsOnReturn = submits; }
    void setBorderColour(const QColor &colour);
    QColor borderColour() const { return m_border; }
    QString placeholder() const { return m_placeholder; }

    /// Replaces the whole text as one undoable edit (Ctrl+Z brings the old text back).
    void replaceText(const QString &text);

Q_SIGNALS:
    void submitted();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QString m_placeholder;
    QColor m_border;
    bool m_submitsOnReturn = false;
};
