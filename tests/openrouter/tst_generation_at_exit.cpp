#include "openrouter/image_generation_service.h"

#include "fake_open_router.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {
// Outlives the application object, like an OpenRouter that is still busy when the user quits.
FakeOpenRouter &server()
{
    static FakeOpenRouter instance;
    return instance;
}
} // namespace

/// Quitting while generations are still waiting for OpenRouter: the process ends at once and
/// cleanly (the sanitizer build checks for leaks and use after free).
class TestGenerationAtExit final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        server().setDefaultReply(FakeReply::text(QStringLiteral("too late")).after(60s));
        qputenv("TAVRUNE_OPENROUTER_URL", server().baseUrl().toUtf8());
    }

    void pendingGenerationsAreLeftRunningAtExit()
    {
        QList<QFuture<IconImage>> pending;
        for (int i = 0; i < 4; ++i)
            pending.append(ImageGenerationService::shared().generate(QStringLiteral("p"), QStringLiteral("k"), i % 2));
        QFuture<QString> keyCheck = ImageGenerationService::shared().testConnection(QStringLiteral("k"));
        QTRY_COMPARE_WITH_TIMEOUT(server().chatRequests().size(), 4, 10000);
        QTest::qWait(100);
        for (const auto &future : pending)
            QVERIFY(!future.isFinished());
        // The key check is not delayed: it finished; the generations still wait when main() returns.
        QTRY_VERIFY(keyCheck.isFinished());
    }
};

QTEST_GUILESS_MAIN(TestGenerationAtExit)
#include "tst_generation_at_exit.moc"
