#include "design/animation_clock.h"
#include "design/placeholder_renderer.h"
#include "grid/folder_grid_view.h"
#include "keys/keychain_service.h"
#include "state/app_state.h"

#include "fake_open_router.h"
#include "temp_tree.h"

#include <QDesktopServices>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString QualityModel = QStringLiteral("openai/gpt-5.4-image-2");

/// Whether `colour` is close to `want` (each channel within `tolerance`).
bool near(const QColor &colour, const QColor &want, int tolerance)
{
    return std::abs(colour.red() - want.red()) <= tolerance && std::abs(colour.green() - want.green()) <= tolerance &&
           std::abs(colour.blue() - want.blue()) <= tolerance;
}

/// Counts the pixels of `image` inside `rect` that are close to `want`.
int countNear(const QImage &image, const QRect &rect, const QColor &want, int tolerance)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            n += near(image.pixelColor(x, y), want, tolerance) ? 1 : 0;
    return n;
}

/// Records the URLs the desktop would have opened.
class UrlLog final : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

} // namespace

/// The grid and list on a real application state with real folders on disk.
class TestFolderGridView final : public QObject
{
    Q_OBJECT

private:
    FakeOpenRouter m_server;
    TempTree m_tree;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<FolderGridView> m_view;
    int m_made = 0;

    QUrl makeFolder(const QString &name)
    {
        return QUrl::fromLocalFile(m_tree.makeDir(QString::number(++m_made) + u'/' + name) + u'/');
    }

    void addFolders(int count)
    {
        QList<QUrl> urls;
        for (int i = 0; i < count; ++i)
            urls.append(makeFolder(QStringLiteral("folder-%1").arg(i)));
        m_state->addFolders(urls);
    }

    FolderGridView &show(int width = 1200, int height = 750)
    {
        m_view = std::make_unique<FolderGridView>(m_state.get());
        m_view->resize(width, height);
        m_view->show();
        [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(m_view.get());
        settle();
        return *m_view;
    }

    /// Lets every card finish fading in.
    static void settle()
    {
        AnimationClock &clock = AnimationClock::instance();
        clock.setManualTime(clock.now() + 1000);
    }

    QImage shot(const QString &name)
    {
        QImage image = m_view->viewport()->grab().toImage();
        if (const QString dir = qEnvironmentVariable("TAVRUNE_SCREENSHOT_DIR"); !dir.isEmpty())
            image.save(dir + u'/' + name + QStringLiteral(".png"));
        return image;
    }

    QUuid idAt(int index) const { return m_state->folders().at(index)->id(); }

    void mouse(QEvent::Type type, const QPointF &pos, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = m_view->viewport();
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, pos, target->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          buttons, modifiers);
        QCoreApplication::sendEvent(target, &event);
    }

    void drag(const QPointF &from, const QPointF &to, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        mouse(QEvent::MouseButtonPress, from, modifiers);
        mouse(QEvent::MouseMove, (from + to) / 2, modifiers);
        mouse(QEvent::MouseMove, to, modifiers);
        mouse(QEvent::MouseButtonRelease, to, modifiers);
    }

    void drop(const QList<QUrl> &urls)
    {
        QMimeData data;
        data.setUrls(urls);
        QWidget *target = m_view->viewport();
        const QPoint pos(300, 300);
        QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent dropped(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &dropped);
    }

    QSet<QUuid> ids(std::initializer_list<int> indices) const
    {
        QSet<QUuid> result;
        for (int i : indices)
            result.insert(idAt(i));
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TAVRUNE_OPENROUTER_URL", m_server.baseUrl().toUtf8());
        QVERIFY(m_tree.isValid());
        AnimationClock::instance().setManualTime(100.0);
    }

    void init() { m_state = std::make_unique<AppState>(); }

    void cleanup()
    {
        m_view.reset();
        m_state.reset();
    }

    void emptyStateGivesWayToTheFirstFolder()
    {
        FolderGridView &view = show();
        const QImage empty = shot(QStringLiteral("grid_empty"));
        // The "Add Folders" button is filled with the default theme's accent.
        QVERIFY(countNear(empty, empty.rect(), QColor(0xf4, 0x72, 0xb6), 2) > 500);
        QVERIFY(view.laidOutCardFrames().isEmpty());

        // The empty state follows a drag of files over it.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(m_tree.makeFile(QStringLiteral("a.txt")))});
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &enter);
        QVERIFY(view.isDropTargeted());
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(view.viewport(), &leave);
        QVERIFY(!view.isDropTargeted());

        m_state->setViewMode(ViewMode::list);
        addFolders(1);
        QCOMPARE(view.folderLayout().mode(), FolderLayout::Mode::list);
        QCOMPARE(view.folderLayout().count(), 1);
    }

    void dropsAddEachFolderOnItsOwnAndIgnoreFiles()
    {
        FolderGridView &view = show();
        const QUrl music = makeFolder(QStringLiteral("Music"));
        const QUrl photos = makeFolder(QStringLiteral("Photos"));
        QSignalSpy added(m_state.get(), &AppState::foldersChanged);
        // As file managers drop them: folders without a trailing slash, files, a remote URL.
        QUrl musicDropped = music;
        musicDropped.setPath(music.path().chopped(1));
        drop({QUrl::fromLocalFile(m_tree.makeFile(QStringLiteral("notes.txt"))), musicDropped,
              QUrl(QStringLiteral("https://example.invalid/folder/")), photos,
              QUrl::fromLocalFile(m_tree.filePath(QStringLiteral("missing")))});
        QVERIFY(!view.isDropTargeted());
        QTRY_COMPARE(m_state->folders().size(), 2);
        QCOMPARE(added.size(), 2); // one addition per folder
        QCOMPARE(m_state->folders().at(0)->url(), music);
        QCOMPARE(m_state->folders().at(1)->url(), photos);

        // Only files: nothing changes, and nothing is said.
        added.clear();
        drop({QUrl::fromLocalFile(m_tree.makeFile(QStringLiteral("b.png")))});
        QTest::qWait(20);
        QCOMPARE(added.size(), 0);
        QVERIFY(!m_state->activeToast());
    }

    void contextMenuFollowsTheIconState_data()
    {
        QTest::addColumn<IconState>("state");
        QTest::addColumn<bool>("canApply");
        QTest::newRow("placeholder") << IconState::placeholder() << false;
        QTest::newRow("generating") << IconState::generating() << false;
        QTest::newRow("generated") << IconState::generated() << true;
        QTest::newRow("applied") << IconState::applied() << true;
        QTest::newRow("failed") << IconState::failed(QStringLiteral("No image")) << false;
    }
    void contextMenuFollowsTheIconState()
    {
        QFETCH(IconState, state);
        QFETCH(bool, canApply);
        addFolders(2);
        FolderGridView &view = show();
        m_state->folders().at(0)->setIconState(state);

        std::unique_ptr<QMenu> menu = view.createContextMenu(idAt(0));
        QStringList texts;
        for (QAction *action : menu->actions())
            texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        QStringList expected{QStringLiteral("Regenerate Icon")};
        if (canApply)
            expected.append(QStringLiteral("Apply Icon to Folder"));
        expected += QStringList{"-", "Show in File Manager", "-", "Remove"};
        QCOMPARE(texts, expected);

        // The file manager is asked to open the folder itself.
        UrlLog log;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &log, "open");
        menu->actions().at(expected.indexOf(QStringLiteral("Show in File Manager")))->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(log.urls, QList<QUrl>{m_state->folders().at(0)->url()});

        const QUuid removed = idAt(0);
        menu->actions().constLast()->trigger();
        QCOMPARE(m_state->folders().size(), 1);
        QVERIFY(m_state->folders().at(0)->id() != removed);
    }

    void clicksSelectAndCtrlClicksToggle()
    {
        addFolders(3);
        FolderGridView &view = show();
        const QPointF first = view.itemRectInViewport(0).center();
        const QPointF second = view.itemRectInViewport(1).center();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, first.toPoint());
        QCOMPARE(m_state->selectedFolderIDs(), ids({0}));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ControlModifier, second.toPoint());
        QCOMPARE(m_state->selectedFolderIDs(), ids({0, 1}));
        // The space between cards belongs to no card: a click there changes nothing.
        const QPointF gap(view.itemRectInViewport(0).right() + 7, first.y());
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, gap.toPoint());
        QCOMPARE(m_state->selectedFolderIDs(), ids({0, 1}));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ControlModifier, first.toPoint());
        QCOMPARE(m_state->selectedFolderIDs(), ids({1}));
    }

    void marqueeSelectsTheLaidOutCardsUnderIt()
    {
        addFolders(80);
        FolderGridView &view = show();
        const QRectF a = view.itemRectInViewport(0);
        const QRectF b = view.itemRectInViewport(1);

        // Less than 15 px from the press point: a click, not a marquee.
        drag(a.center(), a.center() + QPointF(8, 8));
        QCOMPARE(m_state->selectedFolderIDs(), ids({0}));
        QVERIFY(!view.marqueeRect());

        // From the top-left margin to the middle of the second card: the first two; the drag that
        // began on no card, and the drag that began on a card, are never clicks.
        drag(QPointF(5, 5), b.center());
        QCOMPARE(m_state->selectedFolderIDs(), ids({0, 1}));
        drag(b.center(), b.center() + QPointF(0, 20));
        QCOMPARE(m_state->selectedFolderIDs(), ids({1}));

        // Passing over a card and leaving it again does not keep it.
        mouse(QEvent::MouseButtonPress, QPointF(5, 5));
        mouse(QEvent::MouseMove, b.center());
        QVERIFY(view.marqueeRect());
        mouse(QEvent::MouseMove, QPointF(a.center().x(), a.top() + 10));
        mouse(QEvent::MouseButtonRelease, QPointF(a.center().x(), a.top() + 10));
        QCOMPARE(m_state->selectedFolderIDs(), ids({0}));
        QVERIFY(!view.marqueeRect());

        // Ctrl at the start keeps what was selected, even cards far out of view.
        m_state->setSelectedFolderIDs(ids({79}));
        drag(QPointF(5, 5), a.center(), Qt::ControlModifier);
        QCOMPARE(m_state->selectedFolderIDs(), ids({0, 79}));
        // Without Ctrl, a marquee over nothing clears the selection.
        drag(QPointF(5, 5), QPointF(5, 20));
        QCOMPARE(m_state->selectedFolderIDs(), QSet<QUuid>());

        // Scrolled to the end, a marquee over the whole view catches only the cards in view.
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
        drag(QPointF(1, 1), QPointF(view.viewport()->width() - 2, view.viewport()->height() - 2));
        const QSet<QUuid> selected = m_state->selectedFolderIDs();
        QVERIFY(selected.contains(idAt(79)));
        QVERIFY(!selected.contains(idAt(0)));
        QCOMPARE(selected.size(), view.laidOutCardFrames().size());
    }

    void keyboardMovesAndExtendsTheSelection()
    {
        addFolders(30);
        FolderGridView &view = show();
        view.setFocus();
        const int columns = view.folderLayout().columns();
        QCOMPARE(columns, 7);

        QTest::keyClick(&view, Qt::Key_Right); // the first key lands on the first folder
        QCOMPARE(m_state->selectedFolderIDs(), ids({0}));
        QTest::keyClick(&view, Qt::Key_Right);
        QTest::keyClick(&view, Qt::Key_Down);
        QCOMPARE(view.currentIndex(), 1 + columns);
        QCOMPARE(m_state->selectedFolderIDs(), ids({1 + columns}));
        QTest::keyClick(&view, Qt::Key_Left, Qt::ShiftModifier);
        QTest::keyClick(&view, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(m_state->selectedFolderIDs(), ids({columns - 1, columns, columns + 1}));
        QTest::keyClick(&view, Qt::Key_End);
        QCOMPARE(m_state->selectedFolderIDs(), ids({29}));
        QVERIFY(QRectF(view.viewport()->rect()).contains(view.itemRectInViewport(29)));
        QTest::keyClick(&view, Qt::Key_Home, Qt::ShiftModifier);
        QCOMPARE(m_state->selectedFolderIDs().size(), 30);
        QTest::keyClick(&view, Qt::Key_Up); // at the top already: stays on the first folder
        QCOMPARE(view.currentIndex(), 0);
        // Ctrl moves the focus alone; Ctrl+Space adds the focused folder.
        QTest::keyClick(&view, Qt::Key_Right, Qt::ControlModifier);
        QTest::keyClick(&view, Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(m_state->selectedFolderIDs(), ids({0}));
        QTest::keyClick(&view, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(m_state->selectedFolderIDs(), ids({0, 2}));
        QTest::keyClick(&view, Qt::Key_Escape);
        QVERIFY(m_state->selectedFolderIDs().isEmpty());

        // The focus ring shows on the focused card.
        const QImage image = shot(QStringLiteral("grid_keyboard_focus"));
        const QRect ring = view.itemRectInViewport(2).adjusted(-4, -4, 4, 4).toRect();
        QVERIFY(countNear(image, QRect(ring.left(), ring.center().y() - 10, 3, 20), QColor(0xf4, 0x72, 0xb6), 40) > 5);

        // The list moves by rows, a page at a time too.
        m_state->setViewMode(ViewMode::list);
        QTest::keyClick(&view, Qt::Key_Down);
        QCOMPARE(view.currentIndex(), 3);
        QTest::keyClick(&view, Qt::Key_Right);
        QCOMPARE(view.currentIndex(), 3);
        QTest::keyClick(&view, Qt::Key_PageDown);
        QCOMPARE(view.currentIndex(), 3 + view.folderLayout().itemsPerPage(view.viewport()->height()));
    }

    void paintsSelectionBadgesAndPlaceholders()
    {
        addFolders(4);
        FolderGridView &view = show();
        m_state->folders().at(1)->setIconState(IconState::applied());
        m_state->folders().at(2)->setIconState(IconState::failed(QStringLiteral("Invalid API key")));
        m_state->folders().at(3)->setIconState(IconState::generated());
        m_state->setSelectedFolderIDs(ids({0}));
        settle();
        const QImage image = shot(QStringLiteral("grid_states"));

        const QColor accent(0xf4, 0x72, 0xb6);
        const QRectF selected = view.itemRectInViewport(0);
        // The accent outline (50 %) of the selected card, against the plain grey of the others.
        const QColor edge = image.pixelColor(int(selected.left()), int(selected.center().y()));
        QVERIFY2(edge.red() > edge.green() + 60 && edge.blue() > edge.green() + 20, qPrintable(edge.name()));
        const QColor plain = image.pixelColor(int(view.itemRectInViewport(1).left()), int(selected.center().y()));
        QVERIFY2(std::abs(plain.red() - plain.blue()) < 4, qPrintable(plain.name()));

        auto badge = [&](int index) {
            return view.folderLayout().cardParts(view.itemRectInViewport(index)).badge.toAlignedRect();
        };
        QVERIFY(countNear(image, badge(1), QColor(0x30, 0xd1, 0x58), 40) > 10);
        QVERIFY(countNear(image, badge(2), QColor(0xff, 0x45, 0x3a), 40) > 10);
        QVERIFY(countNear(image, badge(3), accent, 40) > 10);
        QCOMPARE(countNear(image, badge(0), QColor(0x16, 0x16, 0x16), 2), 0); // no badge

        // The placeholder's gradients run from c0 (f472b6) at the top-left to c1 (fb923c).
        const ThemePreset &theme = ThemePreset::defaultTheme();
        QCOMPARE(theme.palette.colors.at(0), QColor(0xf4, 0x72, 0xb6));
        QCOMPARE(theme.palette.colors.at(1), QColor(0xfb, 0x92, 0x3c));
        const QImage tile = PlaceholderRenderer::render(SemanticCategory::documents, theme, 100, 1.0);
        if (const QString dir = qEnvironmentVariable("TAVRUNE_SCREENSHOT_DIR"); !dir.isEmpty())
            tile.save(dir + QStringLiteral("/placeholder_documents.png"));
        auto colourAt = [&tile](int x, int y) {
            return QColor::fromRgba(qUnpremultiply(tile.pixel(x, y)));
        };
        const QColor topLeft = colourAt(14, 14);     // t = 0.14: mostly c0 at 25 %
        const QColor bottomRight = colourAt(88, 88); // t = 0.88: mostly c1 at 10 %
        QVERIFY2(near(topLeft, QColor(0xf4, 0x74, 0xb2), 8), qPrintable(topLeft.name()));
        QVERIFY2(near(bottomRight, QColor(0xfa, 0x8f, 0x4a), 20), qPrintable(bottomRight.name()));
        QVERIFY(std::abs(topLeft.alphaF() - 0.23) < 0.03);
        QVERIFY(std::abs(bottomRight.alphaF() - 0.12) < 0.03);
        // The symbol in the middle is painted opaquely in the gradient's colours.
        int opaque = 0;
        for (int y = 30; y < 70; ++y)
            for (int x = 30; x < 70; ++x)
                opaque += qAlpha(tile.pixel(x, y)) == 255;
        QVERIFY(opaque > 100);
        // A single-colour theme draws everything from that colour to itself.
        ThemePreset mono = theme;
        mono.id = QStringLiteral("mono");
        mono.palette.colors = {QColor(0x20, 0x80, 0xff)};
        const QImage monoTile = PlaceholderRenderer::render(SemanticCategory::music, mono, 100, 1.0);
        QVERIFY(near(QColor::fromRgba(qUnpremultiply(monoTile.pixel(86, 86))), QColor(0x20, 0x80, 0xff), 6));
    }

    void selectionFadesAndAPendingThumbnailShowsThePlaceholder()
    {
        addFolders(2);
        FolderGridView &view = show();
        const QRectF card = view.itemRectInViewport(0);
        const QPoint edge(int(card.left()), int(card.center().y()));
        const double start = AnimationClock::instance().now();
        m_state->setSelectedFolderIDs(ids({0}));
        AnimationClock::instance().setManualTime(start + 0.03);
        const QColor fading = shot(QStringLiteral("grid_selection_fading")).pixelColor(edge);
        settle();
        const QColor selected = shot(QStringLiteral("grid_selection_done")).pixelColor(edge);
        QVERIFY2(fading.red() - fading.green() < selected.red() - selected.green() - 20,
                 qPrintable(fading.name() + u' ' + selected.name()));

        // The image exists but its thumbnail is still being made: the placeholder holds the slot.
        QImage picture(512, 512, QImage::Format_ARGB32_Premultiplied);
        picture.fill(QColor(0x20, 0xd0, 0x40));
        m_state->folders().at(1)->setGeneratedImage(IconImage(picture, {}));
        const QRect slot = view.folderLayout().cardParts(view.itemRectInViewport(1)).icon.toAlignedRect();
        const QImage pending = shot(QStringLiteral("grid_thumbnail_pending"));
        QVERIFY(countNear(pending, slot, QColor(0xf4, 0x72, 0xb6), 60) > 20);
        QVERIFY(view.thumbnails().waitForPending());
        QTRY_VERIFY(countNear(shot(QStringLiteral("grid_thumbnail_ready")), slot, QColor(0x20, 0xd0, 0x40), 10) > 500);
    }

    void thumbnailsAreScaledOnceAndFollowTheImage()
    {
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-grid")));
        QImage picture(512, 512, QImage::Format_RGB32);
        picture.fill(QColor(0x20, 0x60, 0xe0));
        m_server.script(QualityModel, FakeReply::image(picture));
        addFolders(2);
        FolderGridView &view = show();
        const FolderItemPtr folder = m_state->folders().at(0);

        QFuture<void> generation = m_state->generateIcon(folder->id());
        QCOMPARE(folder->iconState(), IconState::generating());
        shot(QStringLiteral("grid_generating"));
        QTRY_VERIFY_WITH_TIMEOUT(generation.isFinished(), 20000);
        QCOMPARE(folder->iconState(), IconState::generated());

        view.viewport()->grab();
        QVERIFY(view.thumbnails().waitForPending());
        settle();
        QImage image = shot(QStringLiteral("grid_generated"));
        const QPoint centre = view.folderLayout().cardParts(view.itemRectInViewport(0)).icon.center().toPoint();
        QVERIFY2(near(image.pixelColor(centre), QColor(0x20, 0x60, 0xe0), 12), qPrintable(image.pixelColor(centre).name()));
        // One small thumbnail, not the 1024-pixel icon.
        QCOMPARE(view.thumbnails().count(), 1);
        QVERIFY(view.thumbnails().byteSize() <= 64 * 1024);

        // A new image replaces the thumbnail; an unchanged image reuses it.
        const QPixmap before = view.thumbnails().thumbnail(folder->id(), ThumbnailCache::Kind::card,
                                                           folder->generatedImage().rendition(48), 1.0);
        QCOMPARE(before.width(), 48);
        QImage recoloured(1024, 1024, QImage::Format_ARGB32_Premultiplied);
        recoloured.fill(QColor(0xe0, 0x30, 0x30));
        folder->setGeneratedImage(IconImage{recoloured, {}});
        view.viewport()->grab();
        QVERIFY(view.thumbnails().waitForPending());
        image = shot(QStringLiteral("grid_regenerated"));
        QVERIFY(near(image.pixelColor(centre), QColor(0xe0, 0x30, 0x30), 12));
        QCOMPARE(view.thumbnails().count(), 1);
        // At twice the pixel ratio a thumbnail has twice the pixels, and draws at the same size.
        ThumbnailCache sharp;
        sharp.thumbnail(folder->id(), ThumbnailCache::Kind::row, recoloured, 2.0);
        QVERIFY(sharp.waitForPending());
        const QPixmap row = sharp.thumbnail(folder->id(), ThumbnailCache::Kind::row, recoloured, 2.0);
        QCOMPARE(row.size(), QSize(72, 72));
        QCOMPARE(row.deviceIndependentSize(), QSizeF(36, 36));

        m_state->setViewMode(ViewMode::list);
        view.viewport()->grab();
        QVERIFY(view.thumbnails().waitForPending());
        shot(QStringLiteral("list_states"));
        // Removing the folder lets its thumbnails go.
        m_state->removeFolder(folder->id());
        QCOMPARE(view.thumbnails().count(), 0);
    }
};

QTEST_MAIN(TestFolderGridView)
#include "tst_folder_grid_view.moc"
