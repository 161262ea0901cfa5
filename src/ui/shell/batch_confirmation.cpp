#include "shell/batch_confirmation.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace {

QString dollars(double amount)
{
    return QStringLiteral("$") + QString::number(amount, 'f', 2);
}

} // namespace

BatchConfirmation::BatchConfirmation(const AppState::BatchEstimate &estimate, QWidget *parent)
    : QMessageBox(parent)
{
    setIcon(QMessageBox::Question);
    setWindowTitle(tr("Regenerate Icons"));
    setText(tr("Regenerate %n icons?", nullptr, estimate.count));
    QStringList details;
    details.append(tr("Each icon is a paid generation with %1.").arg(estimate.model));
    if (estimate.estimatedCost)
        details.append(tr("Estimated cost: about %1.").arg(dollars(*estimate.estimatedCost)));
    if (estimate.creditLeft)
        details.append(tr("%1 left on this key.").arg(dollars(*estimate.creditLeft)));
    setInformativeText(details.join(u' '));
    // Room for the model's name and the figures on two or three lines, not one word per line.
    if (auto *label = findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setMinimumWidth(340);

    m_regenerate = addButton(tr("Regenerate %n Icons", nullptr, estimate.count), QMessageBox::AcceptRole);
    m_cancel = addButton(tr("Cancel"), QMessageBox::RejectRole);
    setDefaultButton(m_cancel); // spending is never what Return does by accident
    setEscapeButton(m_cancel);
    m_doNotAsk = new QCheckBox(tr("Do not ask again"), this);
    setCheckBox(m_doNotAsk);
}

bool BatchConfirmation::ask(AppState *state, const AppState::BatchEstimate &estimate, QWidget *parent)
{
    BatchConfirmation box(estimate, parent);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
    const bool go = box.clickedButton() == box.regenerateButton();
    if (go && box.doNotAskBox()->isChecked())
        state->setAsksBeforeLargeBatches(false);
    return go;
}
