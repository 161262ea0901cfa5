#pragma once

#include <QAbstractButton>
#include <QPointer>

class AppState;

/// @brief The application's button: a symbol and a title centred on a rounded accent surface.
///
/// Primary buttons are filled with the theme's accent and draw white; secondary ones are a faint
/// accent wash with an accent outline and accent text. An optional keyboard hint ("Ctrl+⏎") is shown
/// in a small box after the title. The button takes the full width it is offered. It takes focus by
/// Tab only, so clicking it never pulls the focus out of a text field being edited.
class TavruneButton final : public QAbstractButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TavruneButton)

public:
    TavruneButton(AppState *state, const QString &title, const QString &symbolName, bool isPrimary,
                  const QString &kbd = {}, QWidget *parent = nullptr);
    ~TavruneButton() override;

    QString symbolName() const { return m_symbolName; }
    void setSymbolName(const QString &symbolName);
    bool isPrimary() const { return m_isPrimary; }
    void setPrimary(bool primary);
    QString kbd() const { return m_kbd; }
    void setKbd(const QString &kbd);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    /// Where the hint box is drawn (empty without a hint); for tests and for layouts that align to it.
    QRectF hintRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    struct Layout
    {
        QRectF symbol, title, hint;
    };
    Layout layout(const QRectF &bounds) const;

    QPointer<AppState> m_state;
    QString m_symbolName;
    bool m_isPrimary = false;
    QString m_kbd;
    bool m_keyboardFocus = false; // the focus ring shows only for focus reached by keyboard
};
