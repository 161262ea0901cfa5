#include "design/accessible_widgets.h"

#include "design/pill_picker.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QWidget>

namespace {

const char SkippedProperty[] = "tavruneAccessibleSkipped";

/// A container whose children are only the widgets that show: hidden pages and panels slid out
/// of the window are not read, and skipped widgets never are.
class ShownChildrenAccessible final : public QAccessibleWidget
{
public:
    explicit ShownChildrenAccessible(QWidget *widget) : QAccessibleWidget(widget, QAccessible::Pane) {}

    int childCount() const override { return int(shownChildren().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> children = shownChildren();
        return index >= 0 && index < children.size() ? QAccessible::queryAccessibleInterface(children.at(index))
                                                     : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child || !child->object() || !child->object()->isWidgetType())
            return -1;
        return int(shownChildren().indexOf(static_cast<QWidget *>(child->object())));
    }

private:
    QList<QWidget *> shownChildren() const
    {
        QList<QWidget *> result;
        for (QObject *object : widget()->children()) {
            auto *child = qobject_cast<QWidget *>(object);
            if (child && !child->isWindow() && !child->isHidden() && !AccessibleWidgets::isSkipped(child))
                result.append(child);
        }
        return result;
    }
};

/// A toast: an alert whose name is its message.
class ToastAccessible final : public QAccessibleWidget
{
public:
    explicit ToastAccessible(QWidget *widget) : QAccessibleWidget(widget, QAccessible::AlertMessage) {}

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name || type == QAccessible::Description)
            return widget()->accessibleName();
        return QAccessibleWidget::text(type);
    }
};

/// One option of the picker, a radio button.
class PickerOptionAccessible final : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    PickerOptionAccessible(PillPicker *picker, int index) : m_picker(picker), m_index(index) {}

    bool isValid() const override { return m_picker && m_index < m_picker->options().size(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_picker ? m_picker->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_picker); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::RadioButton; }
    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name && isValid())
            return m_picker->options().at(m_index).label;
        return {};
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect local = m_picker->optionRect(m_index).toAlignedRect();
        return QRect(m_picker->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state.checkable = true;
        state.checked = m_picker->currentIndex() == m_index;
        state.focusable = true;
        state.focused = m_picker->hasFocus() && state.checked;
        state.invisible = !m_picker->isVisible();
        state.disabled = !m_picker->isEnabled();
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && isValid() && m_picker->isEnabled())
            m_picker->setCurrentIndex(m_index);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<PillPicker> m_picker;
    int m_index;
};

/// The picker: a group holding its options as radio buttons.
class PillPickerAccessible final : public QAccessibleWidget
{
public:
    explicit PillPickerAccessible(PillPicker *picker) : QAccessibleWidget(picker, QAccessible::Grouping) {}
    ~PillPickerAccessible() override
    {
        for (QAccessible::Id id : std::as_const(m_options))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return int(picker()->options().size()); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        while (m_options.size() <= index) {
            auto *option = new PickerOptionAccessible(picker(), int(m_options.size()));
            m_options.append(QAccessible::registerAccessibleInterface(option));
        }
        return QAccessible::accessibleInterface(m_options.at(index));
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (int i = 0; i < m_options.size(); ++i) {
            if (QAccessible::accessibleInterface(m_options.at(i)) == child)
                return i;
        }
        return -1;
    }
    QAccessibleInterface *focusChild() const override
    {
        return picker()->hasFocus() ? child(picker()->currentIndex()) : nullptr;
    }

private:
    PillPicker *picker() const { return static_cast<PillPicker *>(widget()); }
    mutable QList<QAccessible::Id> m_options;
};

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (className == QLatin1String("ContentView") || className == QLatin1String("InspectorPanel") ||
        (className == QLatin1String("QStackedWidget") && object->objectName() == QLatin1String("inspectorSlot")))
        return new ShownChildrenAccessible(widget);
    if (className == QLatin1String("GeneratingOverlayWidget"))
        return new QAccessibleWidget(widget, QAccessible::Animation);
    if (className == QLatin1String("ElidedLabel"))
        return new QAccessibleWidget(widget, QAccessible::StaticText);
    if (className == QLatin1String("ToastView"))
        return new ToastAccessible(widget);
    if (className == QLatin1String("PillPicker"))
        return new PillPickerAccessible(static_cast<PillPicker *>(widget));
    return nullptr;
}

} // namespace

namespace AccessibleWidgets {

void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

void setSkipped(QWidget *widget)
{
    widget->setProperty(SkippedProperty, true);
    widget->setFocusPolicy(Qt::NoFocus);
}

bool isSkipped(const QWidget *widget) { return widget->property(SkippedProperty).toBool(); }

void announce(QWidget *toast, bool showing)
{
    if (!QAccessible::isActive() || !toast->isVisible())
        return;
    // Qt's own event for alerts, and a fresh "showing" for the desktop's screen readers, which
    // speak an alert as it shows (a replaced toast is announced again this way).
    QAccessibleEvent alert(toast, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    if (showing) {
        QAccessibleEvent shown(toast, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&shown);
    }
}

} // namespace AccessibleWidgets
