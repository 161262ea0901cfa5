#include "content/prompt_builder.h"
#include "content/prompt_builder_p.h"

#include <QtConcurrent>
#include <QtTest>

#include <numeric>

using namespace PromptBuilder;

namespace {

// The prompt's fixed texts, written out here on their own so that the expected prompts below do
// not lean on the builder's copies.
const QString Opening = QStringLiteral("Create a unique folder icon for macOS for a folder named \"");
const QString Distinct = QStringLiteral(
    " This icon must be materially distinct from icons of other folders. Variation key for composition choices: ");
const QString RenderDirective = QStringLiteral(
    "Render it as a premium macOS app icon in the style of top Dribbble app icon shots: one single centered hero "
    "object, soft studio lighting, gentle highlights and soft contact shadows, rich tactile materials, crisp "
    "silhouette that stays readable at 64 pixels. The background must be a subtle smooth gradient that fills the "
    "ENTIRE square canvas edge to edge - full-bleed artwork, no transparent areas, no rounded corners, no border, "
    "no squircle mask (the corner mask is applied later by the app). Square 1:1 composition, photographic render "
    "quality, no words, no letters, no watermark, no UI chrome.");
const QString FirstStyle = QStringLiteral("soft 3D render with matte clay and smooth plastic materials");
const QString FirstColor = QStringLiteral("vibrant two-tone gradient background with a complementary accent");
const QString DefaultStylePrompt = QStringLiteral("pixel art, 8-bit style, crisp edges, nostalgic palette, NES era");

// Every brand row as "keywords: display name", in row order.
const char *const BrandRows =
    "claude, anthropic: Anthropic's Claude AI; openai, chatgpt, gpt: OpenAI / ChatGPT; gmail: Gmail; google: "
    "Google; youtube: YouTube; chrome: Google Chrome; android: Android; apple, macos, ios: Apple; github: GitHub; "
    "gitlab: GitLab; vercel: Vercel; netlify: Netlify; react: React; nextjs, next: Next.js; vue: Vue.js; svelte: "
    "Svelte; node, nodejs: Node.js; python: Python; swift, swiftui: Swift; rust: Rust; typescript: TypeScript; "
    "javascript: JavaScript; docker: Docker; kubernetes, k8s: Kubernetes; aws: AWS; azure: Microsoft Azure; slack: "
    "Slack; discord: Discord; telegram: Telegram; whatsapp, wachat, wasender: WhatsApp; instagram, insta: "
    "Instagram; figma: Figma; notion: Notion; vscode: Visual Studio Code; xcode: Xcode; firebase: Firebase; "
    "supabase: Supabase; postgres, postgresql: PostgreSQL; mysql: MySQL; redis: Redis; mongodb, mongo: MongoDB; "
    "stripe: Stripe; shopify: Shopify; spotify: Spotify; nintendo, nes, snes: Nintendo; playstation: PlayStation; "
    "xbox: Xbox";

QString emDash() { return QString(QChar(0x2014)); }

QString cueTextOf(const QString &prompt)
{
    const QString start = QStringLiteral("Folder-specific cues: ");
    const qsizetype from = prompt.indexOf(start);
    const qsizetype to = prompt.indexOf(QStringLiteral(". Use at least one concrete symbol"));
    if (from < 0 || to < from)
        return QStringLiteral("<no cue text>");
    return prompt.mid(from + start.size(), to - from - start.size());
}

QString buildPlain(const QString &name, const QStringList &hints = {},
                   const std::optional<QString> &key = QStringLiteral("/home/user/folder"))
{
    return build(ThemePreset::defaultTheme(), SemanticCategory::documents, name, hints, key, false);
}

} // namespace

class TestPromptBuilder final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // First, so the constant tables are built here, by racing threads.
    void buildsIdenticalPromptsFromManyThreadsAtOnce()
    {
        QList<int> jobs(64);
        std::iota(jobs.begin(), jobs.end(), 0);
        const QStringList prompts = QtConcurrent::blockingMapped<QStringList>(jobs, [](int i) {
            return build(ThemePreset::defaultTheme(), SemanticCategory(i % 12), QStringLiteral("Docker Notes"),
                         {QStringLiteral("a.txt")}, QString::number(i % 3), i % 2 == 0);
        });
        for (int i = 0; i < jobs.size(); ++i) {
            QCOMPARE(prompts.at(i), build(ThemePreset::defaultTheme(), SemanticCategory(i % 12),
                                          QStringLiteral("Docker Notes"), {QStringLiteral("a.txt")},
                                          QString::number(i % 3), i % 2 == 0));
        }
    }

    void seedHashMatchesWorkedValues()
    {
        QCOMPARE(detail::seedValue(QStringLiteral("abc")), Q_UINT64_C(0xE16801510DB89EFD));
        QCOMPARE(detail::seedValue(QString()), Q_UINT64_C(0x14650FB0739D0383));
        // Hashed as UTF-8 bytes, not UTF-16 code units.
        quint64 expected = Q_UINT64_C(0x14650FB0739D0383);
        for (const quint8 byte : {quint8(0xC3), quint8(0xA9)})
            expected = (expected ^ byte) * Q_UINT64_C(0x100000001B3);
        QCOMPARE(detail::seedValue(QStringLiteral("é")), expected);
    }

    void seededChoicesMatchWorkedValues()
    {
        QCOMPARE(detail::seededChoice(detail::individualStyleDirections(), QStringLiteral("abc:style")), FirstStyle);
        QCOMPARE(detail::seededChoice(detail::individualColorDirections(), QStringLiteral("abc:color")), FirstColor);
        QCOMPARE(detail::motif(SemanticCategory::code, QStringLiteral("abc")), QStringLiteral("rocket badge"));
        QCOMPARE(detail::motif(SemanticCategory::music, QStringLiteral("abc")), QStringLiteral("synth knob"));
        QCOMPARE(detail::seededChoice({}, QStringLiteral("abc")), QString());
    }

    void extractsCueWords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("cues");
        QTest::newRow("stop words, numbers, short") << "MyProjects_2024 final-Copy" << QStringList{"projects"};
        QTest::newRow("nothing usable") << "My Old Stuff 2" << QStringList{};
        QTest::newRow("new folder") << "New Folder 2" << QStringList{"folder"};
        QTest::newRow("camel case") << "iPhoneX Backups" << QStringList{"phone", "backups"};
        QTest::newRow("upper run not split") << "HTMLParser" << QStringList{"htmlparser"};
        QTest::newRow("duplicates kept") << "photos Photos" << QStringList{"photos", "photos"};
        QTest::newRow("punctuation") << "Q3.Quarter-Report (v2)" << QStringList{"quarter", "report"};
        QTest::newRow("every stop word")
            << "a an and or the for with from into to of my new old tmp temp copy final draft misc stuff"
            << QStringList{};
        QTest::newRow("decomposed accent") << QString::fromUtf8("Cafe\xCC\x81 Notes")
                                           << QStringList{QString::fromUtf8("caf\xC3\xA9"), "notes"};
        QTest::newRow("composed accent, the same cues") << QString::fromUtf8("Caf\xC3\xA9 Notes")
                                                        << QStringList{QString::fromUtf8("caf\xC3\xA9"), "notes"};
        QTest::newRow("full lower-casing") << QString::fromUtf8("\xC4\xB0stanbul")
                                           << QStringList{QString::fromUtf8("i\xCC\x87stanbul")};
        QTest::newRow("non-ascii letters") << QString::fromUtf8("\xC3\x9C" "ber Stra\xC3\x9F" "e")
                                           << QStringList{QString::fromUtf8("\xC3\xBC" "ber"),
                                                          QString::fromUtf8("stra\xC3\x9F" "e")};
        QTest::newRow("non-ascii camel case not split")
            << QString::fromUtf8("\xC3\xA9t\xC3\xA9\xC3\x89t\xC3\xA9")
            << QStringList{QString::fromUtf8("\xC3\xA9t\xC3\xA9\xC3\xA9t\xC3\xA9")};
        // "b" + U+0301 has no composed form: the mark stays inside the word and counts with its letter.
        QTest::newRow("combining mark joins") << QString::fromUtf8("ab\xCC\x81" "c xb\xCC\x81")
                                              << QStringList{QString::fromUtf8("ab\xCC\x81" "c")};
        QTest::newRow("three ideographs")
            << QString::fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xE8\xB3\x87\xE6\x96\x99")
            << QStringList{QString::fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E")};
        QTest::newRow("emoji separates") << QString::fromUtf8("travel\xF0\x9F\x8C\x8Dphotos")
                                         << QStringList{"travel", "photos"};
        QTest::newRow("numeric only, any script")
            << QString::fromUtf8("\xD9\xA2\xD9\xA0\xD9\xA2\xD9\xA4 \xC2\xBD\xC2\xBD\xC2\xBD 2024x")
            << QStringList{"2024x"};
    }

    void extractsCueWords()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, cues);
        QCOMPARE(detail::keywords(text), cues);
    }

    void removesOnlyTheLastExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stem");
        QTest::newRow("plain") << "report.pdf" << "report";
        QTest::newRow("double") << "archive.tar.gz" << "archive.tar";
        QTest::newRow("none") << "README" << "README";
        QTest::newRow("hidden file") << ".gitignore" << ".gitignore";
    }

    void removesOnlyTheLastExtension()
    {
        QFETCH(QString, name);
        QFETCH(QString, stem);
        QCOMPARE(detail::removingPathExtension(name), stem);
    }

    void assemblesCompleteCategoryPrompt()
    {
        const QString prompt = build(ThemePreset::defaultTheme(), SemanticCategory::code, QStringLiteral("Scripts"),
                                     {QStringLiteral("deploy.sh"), QStringLiteral("main.py")},
                                     QStringLiteral("abc"), false);
        const QString expected =
            Opening + QStringLiteral("Scripts\". ")
            + QStringLiteral("Core category subject: source code, terminal brackets, programming symbols, developer "
                             "tools. Primary metaphor (must be obvious): rocket badge. Folder-specific cues: scripts, "
                             "deploy, main. Use at least one concrete symbol inspired by the folder-specific cues.")
            + QStringLiteral(" Style direction: ") + FirstStyle + QStringLiteral(", ") + FirstColor
            + QStringLiteral(". Do not force a shared family look with other folders.") + Distinct
            + QStringLiteral("abc. ") + RenderDirective;
        QCOMPARE(prompt, expected);
        QCOMPARE(prompt.toUtf8(), expected.toUtf8());
    }

    void assemblesCompleteBrandPrompt()
    {
        const QString prompt = build(ThemePreset::defaultTheme(), SemanticCategory::documents,
                                     QStringLiteral("Apple Notes"), {QStringLiteral("ideas.txt")}, std::nullopt, true);
        const QString expected =
            Opening + QStringLiteral("Apple Notes\". ")
            + QStringLiteral("This folder is named after a well-known brand/product. The centerpiece MUST be the "
                             "official, instantly recognizable logo mark of Apple ")
            + emDash()
            + QStringLiteral(" the bitten apple logo mark. Reproduce the brand mark faithfully in its exact signature "
                             "shape and colors and make it the hero of the icon (the brand's own logomark or "
                             "letterform is allowed; absolutely no other text). You may subtly hint at the folder's "
                             "context (apple, notes, ideas) through small background props only ")
            + emDash() + QStringLiteral(" never by writing those words.") + QStringLiteral(" Style family lock: ")
            + DefaultStylePrompt + QStringLiteral(". Keep look-and-feel consistent with this selected family.")
            + Distinct + QStringLiteral("Apple Notes. ") + RenderDirective;
        QCOMPARE(prompt, expected);
        QCOMPARE(prompt.toUtf8(), expected.toUtf8());
    }

    void samePromptForSameFolderAndDifferentForOtherPaths()
    {
        const QStringList hints{QStringLiteral("a.txt"), QStringLiteral("b.txt")};
        QCOMPARE(buildPlain(QStringLiteral("Work"), hints), buildPlain(QStringLiteral("Work"), hints));

        QSet<QString> prompts;
        for (int i = 0; i < 8; ++i)
            prompts.insert(buildPlain(QStringLiteral("Work"), hints, QStringLiteral("/home/user/%1/Work").arg(i)));
        QVERIFY2(prompts.size() > 1, "the path is the seed, so other paths must vary the prompt");
    }

    void folderNameIsSeedWithoutVariationKey()
    {
        const QString prompt = buildPlain(QStringLiteral("Recipes"), {}, std::nullopt);
        QVERIFY(prompt.contains(QStringLiteral("Variation key for composition choices: Recipes. Render")));
        const QString style =
            detail::seededChoice(detail::individualStyleDirections(), QStringLiteral("Recipes:style"));
        const QString color =
            detail::seededChoice(detail::individualColorDirections(), QStringLiteral("Recipes:color"));
        QVERIFY(prompt.contains(QStringLiteral("Style direction: ") + style + QStringLiteral(", ") + color + u'.'));
        QVERIFY(prompt.contains(detail::motif(SemanticCategory::documents, QStringLiteral("Recipes"))));
    }

    void composesCueText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("hints");
        QTest::addColumn<QString>("cueText");
        QTest::newRow("no usable cues: the name itself") << "My Old Stuff 2" << QStringList{} << "My Old Stuff 2";
        QTest::newRow("new folder") << "New Folder 2" << QStringList{} << "folder";
        QTest::newRow("hints only when name is unusable") << "My 2" << QStringList{"budget.xlsx"} << "budget";
        QTest::newRow("duplicates across name and hints")
            << "Photos" << QStringList{"photos.zip", "Holiday.JPG", "PHOTOS.png"} << "photos, holiday";
        QTest::newRow("extension removed") << "Backups" << QStringList{"notes.backup.zip", "archive.tar.gz"}
                                           << "backups, notes, backup, archive, tar";
        QTest::newRow("at most six, name first")
            << "alpha beta gamma delta" << QStringList{"epsilon.txt", "zeta.md", "theta.txt", "iota.txt"}
            << "alpha, beta, gamma, delta, epsilon, zeta";
        QTest::newRow("decomposed and composed are one cue")
            << QString::fromUtf8("Cafe\xCC\x81") << QStringList{QString::fromUtf8("caf\xC3\xA9.txt")}
            << QString::fromUtf8("caf\xC3\xA9");
    }

    void composesCueText()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, hints);
        QFETCH(QString, cueText);
        QCOMPARE(cueTextOf(buildPlain(name, hints)), cueText);
    }

    void recognisesBrands_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("brand"); // display name, empty for none
        QTest::newRow("three letters inside a word") << "Laws" << "";
        QTest::newRow("three letters as a word") << "AWS Notes" << "AWS";
        QTest::newRow("four letters inside a word") << "Nodes" << "Node.js";
        QTest::newRow("pineapple") << "Pineapple Recipes" << "Apple";
        QTest::newRow("trust fund") << "Trust Fund" << "Rust";
        QTest::newRow("reactions") << "Reactions" << "React";
        QTest::newRow("camel case") << "MyGitHubRepo" << "GitHub";
        QTest::newRow("earlier row wins") << "Google Chrome Extensions" << "Google";
        QTest::newRow("short keyword inside word") << "bios" << "";
        QTest::newRow("short keyword as word") << "ios apps" << "Apple";
        QTest::newRow("camel case inside name") << "macOS Utilities" << "Apple";
        QTest::newRow("digits in keyword") << "k8s-cluster" << "Kubernetes";
        QTest::newRow("gpt glued to word") << "gptx" << "";
        QTest::newRow("gpt as word") << "GPT experiments" << "OpenAI / ChatGPT";
        QTest::newRow("accented neighbour") << QString::fromUtf8("Caf\xC3\xA9 Docker") << "Docker";
        QTest::newRow("plain folder") << "Holiday Photos" << "";
        QTest::newRow("empty") << "" << "";
    }

    void recognisesBrands()
    {
        QFETCH(QString, name);
        QFETCH(QString, brand);
        const std::optional<QString> subject = brandSubject(name);
        if (brand.isEmpty()) {
            QVERIFY2(!subject, qPrintable(subject.value_or(QString())));
        } else {
            QVERIFY(subject);
            QVERIFY2(subject->startsWith(brand + u' ' + emDash() + u' '), qPrintable(*subject));
        }
    }

    void everyBrandKeywordFindsItsOwnRow_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("brand");
        int rows = 0;
        for (const QString &row : QString::fromUtf8(BrandRows).split(QStringLiteral("; "))) {
            const qsizetype colon = row.indexOf(QStringLiteral(": "));
            const QString brand = row.mid(colon + 2);
            for (const QString &keyword : row.left(colon).split(QStringLiteral(", ")))
                QTest::newRow(qPrintable(keyword)) << keyword << brand;
            ++rows;
        }
        QCOMPARE(rows, 47);
    }

    void everyBrandKeywordFindsItsOwnRow()
    {
        QFETCH(QString, keyword);
        QFETCH(QString, brand);
        const std::optional<QString> subject = brandSubject(keyword);
        QVERIFY(subject);
        const QString prefix = brand + u' ' + emDash() + u' ';
        QVERIFY2(subject->startsWith(prefix), qPrintable(*subject));
        QVERIFY2(subject->size() > prefix.size() + 15, "a logo description follows the name");
    }

    void givenBrandSubjectsAreExact_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("subject");
        const QString dash = u' ' + emDash() + u' ';
        QTest::newRow("claude") << "Claude" << QStringLiteral("Anthropic's Claude AI") + dash + QStringLiteral(
            "its iconic soft coral-orange starburst/asterisk logo mark (a radiating sunburst with rounded rays, "
            "signature terracotta-orange #D97757 on a warm cream background)");
        QTest::newRow("openai") << "OpenAI" << QStringLiteral("OpenAI / ChatGPT") + dash
                                       + QStringLiteral("the hexagonal interwoven knot/blossom logo mark");
        QTest::newRow("apple") << "Apple"
                               << QStringLiteral("Apple") + dash + QStringLiteral("the bitten apple logo mark");
        QTest::newRow("react") << "React" << QStringLiteral("React") + dash + QStringLiteral(
            "the cyan atom logo with three elliptical orbits around a nucleus");
        QTest::newRow("whatsapp") << "WhatsApp" << QStringLiteral("WhatsApp") + dash + QStringLiteral(
            "the green circle with white phone in a speech bubble logo");
        QTest::newRow("nintendo") << "Nintendo" << QStringLiteral("Nintendo") + dash + QStringLiteral(
            "a classic grey-and-red NES game controller with d-pad and red A/B buttons");
        QTest::newRow("xbox") << "Xbox"
                              << QStringLiteral("Xbox") + dash + QStringLiteral("the green sphere with X logo");
    }

    void givenBrandSubjectsAreExact()
    {
        QFETCH(QString, name);
        QFETCH(QString, subject);
        const std::optional<QString> found = brandSubject(name);
        QVERIFY(found);
        QCOMPARE(*found, subject);
    }

    void brandPromptNeverUsesCategoryOrMotif()
    {
        for (SemanticCategory category : allSemanticCategories()) {
            const QString prompt = build(ThemePreset::defaultTheme(), category, QStringLiteral("Docker Stuff"), {},
                                         QStringLiteral("/x/Docker Stuff"), false);
            QVERIFY(prompt.contains(*brandSubject(QStringLiteral("Docker"))));
            QVERIFY(!prompt.contains(promptFragment(category)));
            QVERIFY(!prompt.contains(QStringLiteral("Core category subject")));
            // The fixed render directive mentions "studio lighting"; only the subject may carry a motif.
            const QString subject = prompt.left(prompt.indexOf(QStringLiteral(" Style direction: ")));
            QVERIFY(subject.contains(QStringLiteral("logo mark of Docker")));
            for (const QString &motif : detail::motifs(category))
                QVERIFY2(!subject.contains(motif), qPrintable(motif));
        }
    }

    void nonBrandPromptNeverNamesABrand()
    {
        // File hints never make a brand folder.
        const QString prompt = buildPlain(QStringLiteral("Projects"), {QStringLiteral("docker-compose.yml"),
                                                                      QStringLiteral("spotify.txt")});
        QVERIFY(!prompt.contains(QStringLiteral("brand")));
        QVERIFY(!prompt.contains(QStringLiteral("logo")));
        QVERIFY(!prompt.contains(emDash()));
        QVERIFY(prompt.contains(QStringLiteral("Core category subject: ")
                                + promptFragment(SemanticCategory::documents)));
    }

    void familyLockUsesThemeStyleOnly()
    {
        const QString prompt = build(ThemePreset::defaultTheme(), SemanticCategory::music, QStringLiteral("Songs"), {},
                                     QStringLiteral("abc"), true);
        QVERIFY(prompt.contains(QStringLiteral("Style family lock: ") + DefaultStylePrompt
                                + QStringLiteral(". Keep look-and-feel consistent with this selected family.")));
        QVERIFY(!prompt.contains(QStringLiteral("Style direction")));
        for (const QString &direction : detail::individualStyleDirections() + detail::individualColorDirections())
            QVERIFY2(!prompt.contains(direction), qPrintable(direction));
    }

    void withoutFamilyLockThemeHasNoInfluence()
    {
        const QList<ThemePreset> &themes = ThemePreset::allThemes();
        QVERIFY(themes.size() >= 2);
        const ThemePreset &first = themes.at(0);
        const ThemePreset &other = themes.at(1);
        QVERIFY(first.stylePrompt != other.stylePrompt);
        const QString a =
            build(first, SemanticCategory::music, QStringLiteral("Songs"), {}, QStringLiteral("abc"), false);
        const QString b =
            build(other, SemanticCategory::music, QStringLiteral("Songs"), {}, QStringLiteral("abc"), false);
        QCOMPARE(a, b);
        QVERIFY(!a.contains(first.stylePrompt));
        QVERIFY(!a.contains(other.stylePrompt));
        QVERIFY(a.contains(QStringLiteral("Style direction: ") + FirstStyle + QStringLiteral(", ") + FirstColor));
        QVERIFY(a.contains(QStringLiteral("Primary metaphor (must be obvious): synth knob.")));
    }
};

QTEST_GUILESS_MAIN(TestPromptBuilder)
#include "tst_prompt_builder.moc"
