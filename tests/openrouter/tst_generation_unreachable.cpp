#include "openrouter/generation_error.h"
#include "openrouter/image_generation_service.h"

#include "fake_open_router.h"
#include "wait_for.h"

#include <QTest>

/// With OpenRouter unreachable: transport failures, as the user sees them.
class TestGenerationUnreachable final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const quint16 closedPort = FakeOpenRouter::closedPort();
        qputenv("TAVRUNE_OPENROUTER_URL", QStringLiteral("http://127.0.0.1:%1").arg(closedPort).toUtf8());
    }

    void chatTransportFailureIsANetworkErrorForBothModels()
    {
        QFuture<IconImage> future = ImageGenerationService::shared().generate(QStringLiteral("p"), QStringLiteral("k"), true);
        QVERIFY(waitFor(future));
        QString description;
        try {
            future.result();
        } catch (const GenerationError &error) {
            QCOMPARE(error.kind(), GenerationError::Kind::apiError);
            description = error.description();
        }
        const QStringList parts = description.split(QStringLiteral(" | "));
        QCOMPARE(parts.size(), 2);
        QVERIFY2(parts[0].startsWith("API Error: All models failed: [google/gemini-2.5-flash-image] Network error: "),
                 qPrintable(description));
        QVERIFY2(parts[1].startsWith("[openai/gpt-5.4-image-2] Network error: "), qPrintable(description));
        QVERIFY2(parts[1].contains("connect", Qt::CaseInsensitive), qPrintable(description));
    }

    void keyCheckReportsConnectionFailed()
    {
        QFuture<QString> future = ImageGenerationService::shared().testConnection(QStringLiteral("k"));
        QVERIFY(waitFor(future));
        QCOMPARE(future.result(), QStringLiteral("Connection failed"));
    }
};

QTEST_GUILESS_MAIN(TestGenerationUnreachable)
#include "tst_generation_unreachable.moc"
