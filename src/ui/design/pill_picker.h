#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

class AppState;

/// @brief A row of symbol-only options, one of them highlighted in the theme's accent.
///
/// Labels are kept for accessibility and tooltips; only the symbols are drawn. A current index of -1
/// (or any index outside the options) shows every option unselected. Clicking an option, or Left and
/// Right while the picker has keyboard focus, selects it; the highlight cross-fades on the quick spring.
class PillPicker final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PillPicker)

public:
    struct Option
    {
        QString label;
        QString symbolName;
    };

    explicit PillPicker(AppState *state, QWidget *parent = nullptr);
    ~PillPicker() override;

    void setOptions(const QList<Option> &options);
    QList<Option> options() const { return m_options; }
    int currentIndex() const { return m_currentIndex; }
    /// Changes the highlighted option (animated); emits currentIndexChanged when it differs.
    void setCurrentIndex(int index);

    /// The rectangle of option `index` in widget coordinates.
    QRectF optionRect(int index) const;
    QSize sizeHint() const override;

Q_SIGNALS:
    void currentIndexChanged(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool event(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    int optionAt(const QPointF &pos) const;
    /// How selected option `index` looks right now, 0..1, following the cross-fade.
    double selectionWeight(int index) const;

    QPointer<AppState> m_state;
    QList<Option> m_options;
    int m_currentIndex = -1;
    int m_previousIndex = -1;
    double m_changedAt = -1e9;
    int m_pressedIndex = -1;
    bool m_keyboardFocus = false; // the focus ring shows only for focus reached by keyboard
};
