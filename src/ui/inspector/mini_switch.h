#pragma once

#include <QAbstractButton>

class AppState;

/// @brief A small switch-style toggle (the "mini" control size): a capsule track with a sliding knob.
///
/// The knob slides with the quick spring; the track takes the theme's accent when on.
class MiniSwitch final : public QAbstractButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MiniSwitch)

public:
    explicit MiniSwitch(AppState *state, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void checkStateSet() override;

private:
    void startSlide();

    AppState *m_state;
    double m_slideStart = -1e9;
    bool m_slideFromChecked = false;
    bool m_targetChecked = false;
};
