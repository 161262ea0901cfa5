#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QWidget>

#include <functional>

/// Sets the text colour a label, button or editor paints with.
void setTextColour(QWidget *widget, const QColor &colour);

/// A plain text label in the given font and colour; wrapping labels never widen the panel.
QLabel *makeLabel(const QString &text, const QFont &font, const QColor &colour, QWidget *parent, bool wrap = false);
/// A label showing one symbol glyph.
QLabel *makeSymbolLabel(QStringView symbolName, qreal pixelSize, const QColor &colour, QWidget *parent);
/// Points the symbol label at another symbol (no relayout when the glyph's size stays).
void setSymbol(QLabel *label, QStringView symbolName);

/// The small capitals used for section captions: bold, letter spacing 1.
QFont captionFont(qreal pixelSize);

/// @brief One line of text that elides in the middle instead of overflowing ("Very long…name").
class ElidedLabel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ElidedLabel)

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const { return m_text; }
    /// The text as painted at the current width.
    QString displayedText() const;
    void setColour(const QColor &colour);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    QColor m_colour;
};

/// @brief A borderless text button, optionally with a leading symbol; draws a focus ring for the keyboard.
class PlainTextButton final : public QAbstractButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlainTextButton)

public:
    PlainTextButton(const QString &text, const QFont &font, const QColor &colour, QWidget *parent = nullptr);

    void setSymbol(const QString &symbolName, qreal pixelSize);
    void setColour(const QColor &colour);
    /// A filled rounded background with this padding (none by default).
    void setBackground(const QColor &fill, QMargins padding, qreal radius);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_colour;
    QString m_symbol;
    qreal m_symbolSize = 0;
    QColor m_fill = Qt::transparent;
    QMargins m_padding;
    qreal m_radius = 0;
};

/// @brief A full-width line 1 px high.
class DividerLine final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DividerLine)

public:
    explicit DividerLine(const QColor &colour, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_colour;
};

/// @brief A plain container painted as a rounded rectangle (boxes, tiles, list frames).
class RoundedPanel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RoundedPanel)

public:
    RoundedPanel(const QColor &fill, qreal radius, QWidget *parent = nullptr);

    void setFill(const QColor &fill);
    void setStroke(const QColor &stroke);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill;
    QColor m_stroke = Qt::transparent;
    qreal m_radius;
};

class QScrollArea;
/// A vertically scrolling region on the panel's background with a slim scroll indicator.
void styleScrollArea(QScrollArea *area);
/// Lays `panel` out as every inspector is: a scrolling region filled by `buildScrolling`, above a fixed
/// action area filled by `buildActions`. Returns the scroll area.
QScrollArea *layOutInspectorPanel(QWidget *panel, const std::function<void(QWidget *)> &buildScrolling,
                                  const std::function<void(QWidget *)> &buildActions);
