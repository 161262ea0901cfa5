#include "grid/folder_grid_view.h"
#include "state/app_state.h"

#include "temp_tree.h"

#include <QAccessible>
#include <QApplication>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

/// The events the grid sends, as (type, child name, first row, last row).
struct Seen
{
    QAccessible::Event type;
    QString name;
    int firstRow = -1;
    int lastRow = -1;
};
QList<Seen> g_events;

void record(QAccessibleEvent *event)
{
    Seen seen{event->type(), {}};
    if (event->type() == QAccessible::TableModelChanged) {
        auto *change = static_cast<QAccessibleTableModelChangeEvent *>(event);
        seen.firstRow = change->firstRow();
        seen.lastRow = change->lastRow();
        if (change->modelChangeType() == QAccessibleTableModelChangeEvent::RowsRemoved)
            seen.name = QStringLiteral("removed");
        else if (change->modelChangeType() == QAccessibleTableModelChangeEvent::RowsInserted)
            seen.name = QStringLiteral("inserted");
    } else if (QAccessibleInterface *iface = event->accessibleInterface()) {
        seen.name = iface->text(QAccessible::Name);
    }
    g_events.append(seen);
}

bool sawEvent(QAccessible::Event type, const QString &name)
{
    return std::any_of(g_events.cbegin(), g_events.cend(),
                       [&](const Seen &e) { return e.type == type && e.name == name; });
}

} // namespace

/// The grid as screen readers see it, through Qt's accessibility interfaces, on a real state
/// with real folders on disk.
class TestFolderGridAccessible final : public QObject
{
    Q_OBJECT

private:
    TempTree m_tree;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<FolderGridView> m_view;
    int m_made = 0;

    QUrl folder(const QString &name)
    {
        return QUrl::fromLocalFile(m_tree.makeDir(QString::number(++m_made) + u'/' + name) + u'/');
    }

    QAccessibleInterface *grid() const { return QAccessible::queryAccessibleInterface(m_view.get()); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        QAccessible::installUpdateHandler(record);
        QTRY_VERIFY_WITH_TIMEOUT(QAccessible::isActive(), 15000);
    }

    void init()
    {
        m_state = std::make_unique<AppState>();
        m_state->addFolders({folder(QStringLiteral("Alpha")), folder(QStringLiteral("Beta")),
                             folder(QStringLiteral("Gamma"))});
        QTRY_COMPARE(m_state->folders().size(), 3);
        m_view = std::make_unique<FolderGridView>(m_state.get());
        m_view->resize(1000, 700);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        g_events.clear();
    }

    void cleanup()
    {
        m_view.reset();
        m_state.reset();
    }

    void describesEachFolderByNameCategoryAndState_data()
    {
        QTest::addColumn<IconState>("state");
        QTest::addColumn<QString>("status");
        QTest::newRow("placeholder") << IconState::placeholder() << QString();
        QTest::newRow("generating") << IconState::generating() << QStringLiteral("Generating…");
        QTest::newRow("generated") << IconState::generated() << QStringLiteral("Icon generated, not applied yet");
        QTest::newRow("applied") << IconState::applied() << QStringLiteral("Icon applied");
        QTest::newRow("failed") << IconState::failed(QStringLiteral("No credit left"))
                                << QStringLiteral("Failed: No credit left");
    }

    void describesEachFolderByNameCategoryAndState()
    {
        QFETCH(IconState, state);
        QFETCH(QString, status);
        m_state->folders().at(1)->setIconState(state);
        const QString category = displayName(m_state->folders().at(1)->detectedCategory());

        QAccessibleInterface *list = grid();
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->childCount(), 3);
        QAccessibleInterface *beta = list->child(1);
        QCOMPARE(beta->role(), QAccessible::ListItem);
        QCOMPARE(beta->text(QAccessible::Name), QStringLiteral("Beta"));
        QCOMPARE(beta->text(QAccessible::Description),
                 status.isEmpty() ? category : category + QStringLiteral(", ") + status);
        QCOMPARE(list->indexOfChild(beta), 1);
        QVERIFY(beta->state().selectable && beta->state().focusable && !beta->state().selected);

        // The list view is a table: Name, Category, Status.
        m_state->setViewMode(ViewMode::list);
        QCOMPARE(list->role(), QAccessible::Table);
        QAccessibleTableInterface *table = list->tableInterface();
        QCOMPARE(table->columnCount(), 3);
        QCOMPARE(table->columnDescription(2), QStringLiteral("Status"));
        QCOMPARE(table->cellAt(1, 0)->text(QAccessible::Name), QStringLiteral("Beta"));
        QCOMPARE(table->cellAt(1, 1)->text(QAccessible::Name), category);
        QCOMPARE(table->cellAt(1, 2)->text(QAccessible::Name), status);
        QCOMPARE(list->indexOfChild(table->cellAt(2, 1)), 7);
    }

    void selectionGoesBothWays()
    {
        QAccessibleTableInterface *table = grid()->tableInterface();
        QVERIFY(table->selectRow(2));
        QCOMPARE(m_state->selectedFolderIDs(), QSet<QUuid>{m_state->folders().at(2)->id()});
        QVERIFY(grid()->child(2)->state().selected);
        QVERIFY(sawEvent(QAccessible::SelectionAdd, QStringLiteral("Gamma")));

        m_state->selectFolder(m_state->folders().at(0)->id(), true);
        QCOMPARE(table->selectedRows(), (QList<int>{0, 2}));
        QVERIFY(grid()->child(0)->tableCellInterface()->isSelected());
        QVERIFY(sawEvent(QAccessible::SelectionAdd, QStringLiteral("Alpha")));

        QVERIFY(table->unselectRow(2));
        QCOMPARE(table->selectedRows(), QList<int>{0});
        QVERIFY(sawEvent(QAccessible::SelectionRemove, QStringLiteral("Gamma")));
        QVERIFY(!table->selectRow(3));
    }

    void addingRemovingAndFocusAreAnnounced()
    {
        QAccessibleInterface *gamma = grid()->child(2);
        m_state->addFolders({folder(QStringLiteral("Delta"))});
        QTRY_COMPARE(grid()->childCount(), 4);
        QVERIFY(std::any_of(g_events.cbegin(), g_events.cend(), [](const Seen &e) {
            return e.name == QStringLiteral("inserted") && e.firstRow == 3 && e.lastRow == 3;
        }));

        m_state->removeFolder(m_state->folders().at(1)->id());
        QCOMPARE(grid()->childCount(), 3);
        QVERIFY(std::any_of(g_events.cbegin(), g_events.cend(), [](const Seen &e) {
            return e.name == QStringLiteral("removed") && e.firstRow == 1 && e.lastRow == 1;
        }));
        // A folder keeps its interface while others come and go.
        QCOMPARE(grid()->child(1), gamma);
        QCOMPARE(gamma->text(QAccessible::Name), QStringLiteral("Gamma"));

        m_view->activateWindow();
        m_view->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(m_view->hasFocus());
        QTest::keyClick(m_view.get(), Qt::Key_Down);
        QTest::keyClick(m_view.get(), Qt::Key_Right);
        QVERIFY(sawEvent(QAccessible::Focus, QStringLiteral("Gamma")));
        QVERIFY(gamma->state().focused);
        QCOMPARE(grid()->focusChild(), gamma);
    }
};

/// Qt's offscreen platform has no accessibility: the test runs on an X server of its own, with
/// its own accessibility bus on the test's D-Bus session, and the AT-SPI bridge forced on.
int main(int argc, char *argv[])
{
    int fds[2];
    if (pipe(fds) != 0)
        return 2;
    const pid_t server = fork();
    if (server == 0) {
        dup2(fds[1], 1);
        execlp("Xvfb", "Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp", nullptr);
        _exit(127);
    }
    close(fds[1]);
    char number[16] = {};
    const ssize_t got = read(fds[0], number, sizeof number - 1);
    if (server < 0 || got <= 0)
        return 2;
    qputenv("DISPLAY", ":" + QByteArray(number).trimmed());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    const pid_t bus = fork();
    if (bus == 0) {
        execl("/usr/libexec/at-spi-bus-launcher", "at-spi-bus-launcher", "--launch-immediately", nullptr);
        _exit(127);
    }
    int status = 0;
    {
        QApplication app(argc, argv);
        TestFolderGridAccessible test;
        status = QTest::qExec(&test, argc, argv);
    }
    for (const pid_t child : {bus, server}) {
        if (child > 0) {
            kill(child, SIGTERM);
            waitpid(child, nullptr, 0);
        }
    }
    return status;
}
#include "tst_folder_grid_accessible.moc"
