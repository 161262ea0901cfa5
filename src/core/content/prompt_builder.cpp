#include "content/prompt_builder.h"
#include "content/prompt_builder_p.h"
#include "models/folder_item.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QTextBoundaryFinder>

#include <array>
#include <initializer_list>

// Every table below is a function-local static: built once on first use, under the compiler's
// thread-safe initialisation guard, and only read afterwards, so any thread may build prompts.

namespace {

constexpr quint64 SeedOffsetBasis = 0x14650FB0739D0383ULL;
constexpr quint64 SeedPrime = 0x100000001B3ULL;

QStringList fromUtf8List(std::initializer_list<const char *> texts)
{
    QStringList list;
    list.reserve(qsizetype(texts.size()));
    for (const char *text : texts)
        list.append(QString::fromUtf8(text));
    return list;
}

const QSet<QString> &stopWords()
{
    static const QSet<QString> words = [] {
        const QStringList list = fromUtf8List({"a", "an", "and", "or", "the", "for", "with", "from", "into", "to",
                                               "of", "my", "new", "old", "tmp", "temp", "copy", "final", "draft",
                                               "misc", "stuff"});
        return QSet<QString>(list.cbegin(), list.cend());
    }();
    return words;
}

struct KnownBrand
{
    QStringList keywords;
    QString subject;
};

// Earlier rows win, so a specific product listed after its maker ("chrome" after "google") is only
// chosen when the maker's name is absent.
const QList<KnownBrand> &knownBrands()
{
    static const QList<KnownBrand> brands = [] {
        const struct
        {
            std::initializer_list<const char *> keywords;
            const char *subject;
        } rows[] = {
            {{"claude", "anthropic"},
             "Anthropic's Claude AI — its iconic soft coral-orange starburst/asterisk logo mark (a radiating "
             "sunburst with rounded rays, signature terracotta-orange #D97757 on a warm cream background)"},
            {{"openai", "chatgpt", "gpt"}, "OpenAI / ChatGPT — the hexagonal interwoven knot/blossom logo mark"},
            {{"gmail"},
             "Gmail — the envelope-shaped M logo mark in Google red, blue, green and yellow on a white ground"},
            {{"google"}, "Google — the bold rounded G logo mark in four segments of blue, red, yellow and green"},
            {{"youtube"}, "YouTube — the red rounded-rectangle play button with a white triangle logo"},
            {{"chrome"},
             "Google Chrome — the round logo of three red, yellow and green segments around a blue centre circle "
             "ringed in white"},
            {{"android"}, "Android — the green robot head with two antennae and round eyes logo"},
            {{"apple", "macos", "ios"}, "Apple — the bitten apple logo mark"},
            {{"github"}, "GitHub — the black circle logo with the white Octocat silhouette, a cat with octopus arms"},
            {{"gitlab"}, "GitLab — the orange tanuki head logo built from angular red-orange and amber facets"},
            {{"vercel"}, "Vercel — the solid black equilateral triangle logo mark"},
            {{"netlify"},
             "Netlify — the teal diamond logo mark, a rotated rounded square crossed by fine network lines and "
             "dots"},
            {{"react"}, "React — the cyan atom logo with three elliptical orbits around a nucleus"},
            {{"nextjs", "next"}, "Next.js — the black circle with a white stylised N logo whose right stroke fades"},
            {{"vue"}, "Vue.js — the green V logo with a smaller dark slate-blue V nested inside it"},
            {{"svelte"},
             "Svelte — the orange-red S logo made of two interlocking curved bands with white inner lines"},
            {{"node", "nodejs"}, "Node.js — the green hexagon logo mark"},
            {{"python"}, "Python — the two interlocking snakes logo, one blue and one yellow"},
            {{"swift", "swiftui"},
             "Swift — the white swift bird in flight on an orange-to-red gradient rounded square"},
            {{"rust"}, "Rust — the black gear-toothed ring with a bold R in its centre logo"},
            {{"typescript"}, "TypeScript — the blue rounded square with the white letters TS logo"},
            {{"javascript"}, "JavaScript — the yellow square with the black letters JS logo"},
            {{"docker"}, "Docker — the blue whale carrying stacked container boxes on its back logo"},
            {{"kubernetes", "k8s"}, "Kubernetes — the blue heptagon with a white seven-spoke ship's helm logo"},
            {{"aws"}, "AWS — the dark navy aws letters above the orange curved smile arrow logo"},
            {{"azure"}, "Microsoft Azure — the blue gradient angular A logo mark made of two slanted shapes"},
            {{"slack"},
             "Slack — the hashtag pinwheel logo of four rounded bars and dots in blue, green, yellow and red"},
            {{"discord"},
             "Discord — the white game-controller-shaped Clyde face logo on a blurple blue-violet background"},
            {{"telegram"}, "Telegram — the white paper plane on a light blue circle logo"},
            {{"whatsapp", "wachat", "wasender"},
             "WhatsApp — the green circle with white phone in a speech bubble logo"},
            {{"instagram", "insta"},
             "Instagram — the white rounded-square camera outline with a round lens and a dot on a purple, pink, "
             "orange and yellow gradient"},
            {{"figma"},
             "Figma — the logo of five rounded shapes stacked in two columns, red, orange, purple, blue circle and "
             "green"},
            {{"notion"}, "Notion — the black-outlined white cube-like square with a bold black serif N logo"},
            {{"vscode"}, "Visual Studio Code — the blue folded ribbon logo shaped like an angled bracket"},
            {{"xcode"}, "Xcode — the blue app icon with a silver hammer laid across a blueprint"},
            {{"firebase"}, "Firebase — the yellow, amber and orange flame logo mark"},
            {{"supabase"}, "Supabase — the green lightning bolt logo mark"},
            {{"postgres", "postgresql"}, "PostgreSQL — the blue elephant head logo with black and white outlines"},
            {{"mysql"}, "MySQL — the blue leaping dolphin logo mark"},
            {{"redis"}, "Redis — the red stack of layered isometric blocks logo with white star-like marks"},
            {{"mongodb", "mongo"}, "MongoDB — the slender green leaf logo mark"},
            {{"stripe"}, "Stripe — the blurple (indigo-violet) rounded square with a bold white S logo"},
            {{"shopify"}, "Shopify — the green shopping bag with a white S logo"},
            {{"spotify"}, "Spotify — the green circle with three curved black sound-wave bars logo"},
            {{"nintendo", "nes", "snes"},
             "Nintendo — a classic grey-and-red NES game controller with d-pad and red A/B buttons"},
            {{"playstation"},
             "PlayStation — the logo of a tall P standing on a flat perspective S, in red, yellow, green and blue"},
            {{"xbox"}, "Xbox — the green sphere with X logo"},
        };
        static_assert(std::size(rows) == 47);
        QList<KnownBrand> list;
        list.reserve(qsizetype(std::size(rows)));
        for (const auto &row : rows)
            list.append({fromUtf8List(row.keywords), QString::fromUtf8(row.subject)});
        return list;
    }();
    return brands;
}

bool isAsciiLower(QChar ch) { return ch >= u'a' && ch <= u'z'; }
bool isAsciiUpper(QChar ch) { return ch >= u'A' && ch <= u'Z'; }

// Folder names from the file system may arrive decomposed ("e" + U+0301); composing first makes
// them give the same cues, brands and duplicates as their composed spelling.
QString composed(const QString &text) { return text.normalized(QString::NormalizationForm_C); }

// QString::toLower maps per code point using the full (unconditional) lower-case mappings, so
// "İ" becomes "i" + U+0307 as in SpecialCasing.txt; that is the lower-casing the cues rely on.
QString lowered(const QString &text) { return composed(text).toLower(); }

char32_t firstCodePoint(QStringView cluster)
{
    const QChar first = cluster.front();
    if (first.isHighSurrogate() && cluster.size() > 1 && cluster.at(1).isLowSurrogate())
        return QChar::surrogateToUcs4(first, cluster.at(1));
    return first.unicode();
}

// How many of a folder's first files lend their names to the prompt.
constexpr int FileHintCount = 8;

// The folder's path as prompts show it (the variation key): absolute, without a trailing slash.
QString folderPath(const QUrl &url)
{
    QString path = url.toLocalFile();
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

QString familyLockSentence(const ThemePreset &theme)
{
    return QStringLiteral("Style family lock: ") + theme.stylePrompt
           + QStringLiteral(". Keep look-and-feel consistent with this selected family.");
}

} // namespace

namespace PromptBuilder::detail {

QStringList keywords(const QString &text)
{
    const QString source = composed(text);

    // "([a-z])([A-Z])" → "$1 $2": a match always ends on an upper-case letter, which can never start
    // the next match, so inserting a space at every such pair is the same replacement.
    QString spaced;
    spaced.reserve(source.size() + source.size() / 2);
    for (qsizetype i = 0; i < source.size(); ++i) {
        spaced.append(source.at(i));
        if (isAsciiLower(source.at(i)) && i + 1 < source.size() && isAsciiUpper(source.at(i + 1)))
            spaced.append(u' ');
    }
    const QString lower = spaced.toLower();

    // Words are cut per user-perceived character: a cluster belongs to a word when its base is a
    // letter or a digit, so a combining mark left after composition stays with its letter instead of
    // splitting the word, and lengths count what the user sees, not code units.
    QStringList result;
    QString piece;
    qsizetype pieceLength = 0;
    bool pieceIsNumeric = true;
    const auto finishPiece = [&] {
        if (pieceLength >= 3 && !pieceIsNumeric && !stopWords().contains(piece))
            result.append(piece);
        piece.clear();
        pieceLength = 0;
        pieceIsNumeric = true;
    };

    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, lower);
    qsizetype start = 0;
    while (start < lower.size()) {
        qsizetype end = boundaries.toNextBoundary();
        if (end <= start)
            end = lower.size();
        const QStringView cluster = QStringView(lower).sliced(start, end - start);
        const char32_t base = firstCodePoint(cluster);
        if (QChar::isLetterOrNumber(base)) {
            piece.append(cluster);
            ++pieceLength;
            pieceIsNumeric = pieceIsNumeric && QChar::isNumber(base);
        } else {
            finishPiece();
        }
        start = end;
    }
    finishPiece();
    return result;
}

QStringList unique(const QStringList &words)
{
    QStringList result;
    QSet<QString> seen;
    for (const QString &word : words) {
        if (!seen.contains(word)) {
            seen.insert(word);
            result.append(word);
        }
    }
    return result;
}

quint64 seedValue(const QString &text)
{
    quint64 hash = SeedOffsetBasis;
    const QByteArray bytes = text.toUtf8();
    for (const char byte : bytes) {
        hash ^= quint64(quint8(byte));
        hash *= SeedPrime; // unsigned arithmetic wraps modulo 2^64
    }
    return hash;
}

QString seededChoice(const QStringList &choices, const QString &seed)
{
    if (choices.isEmpty())
        return QString();
    return choices.at(qsizetype(seedValue(seed) % quint64(choices.size())));
}

QString motif(SemanticCategory category, const QString &seed)
{
    return seededChoice(motifs(category), seed + QStringLiteral(":motif:") + rawValue(category));
}

QString removingPathExtension(const QString &fileName)
{
    const qsizetype slash = fileName.lastIndexOf(u'/');
    const qsizetype dot = fileName.lastIndexOf(u'.');
    // A dot that opens the name marks a hidden file (".gitignore"), not an extension.
    if (dot <= slash + 1)
        return fileName;
    return fileName.left(dot);
}

const QStringList &individualStyleDirections()
{
    static const QStringList directions = fromUtf8List({
        "soft 3D render with matte clay and smooth plastic materials",
        "frosted glass and translucent layered depth",
        "polished skeuomorphic realism with tactile premium materials",
        "glossy toy-like 3D with rounded friendly geometry",
        "brushed metal and precision-machined hardware aesthetic",
        "warm hand-crafted 3D illustration with soft fabric and wood textures",
        "dark premium surface with a glowing neon accent object",
        "modern flat design with subtle depth and long soft shadows",
        "ceramic and glass still-life with studio reflections",
        "miniature diorama scene with cinematic depth of field",
    });
    return directions;
}

const QStringList &individualColorDirections()
{
    static const QStringList directions = fromUtf8List({
        "vibrant two-tone gradient background with a complementary accent",
        "muted premium pastel tones",
        "deep charcoal background with one glowing accent color",
        "warm sunset gradient of coral, amber and gold",
        "cool blue-to-violet gradient",
        "fresh saturated pop colors on a soft neutral field",
        "rich jewel tones with soft rim lighting",
        "creamy off-white background with warm tactile colors",
    });
    return directions;
}

const QStringList &motifs(SemanticCategory category)
{
    // Indexed by the category's ordinal, in declaration order.
    static const std::array<QStringList, 12> lists = {
        fromUtf8List({"microchip", "terminal window", "modular cube", "circuit node", "robotic wrench",
                      "rocket badge"}),
        fromUtf8List({"vinyl record", "waveform beacon", "headphones silhouette", "equalizer bars", "studio mic",
                      "synth knob"}),
        fromUtf8List({"camera aperture", "photo frame stack", "lens flare orb", "mountain snapshot",
                      "polaroid badge", "macro lens"}),
        fromUtf8List({"folded document crest", "notebook spine", "bookmark tab", "ink pen nib", "archive binder",
                      "paper stack"}),
        fromUtf8List({"candlestick chart", "vault dial", "wallet badge", "uptrend arrow", "ledger block",
                      "coin stack"}),
        fromUtf8List({"bezier curve handle", "palette knife", "color wheel", "vector compass", "grid blueprint",
                      "brush stroke glyph"}),
        fromUtf8List({"clapperboard", "film strip loop", "camera body", "playhead marker", "edit timeline block",
                      "studio light"}),
        fromUtf8List({"gamepad", "arcade joystick", "pixel gem", "shield crest", "quest map pin",
                      "controller buttons"}),
        fromUtf8List({"compass rose", "luggage tag", "air route pin", "passport stamp", "mountain wayfinder",
                      "globe path"}),
        fromUtf8List({"graduation cap", "stacked books", "atom symbol", "ruler and pencil", "notebook crest",
                      "study lamp"}),
        fromUtf8List({"downward arrow capsule", "inbox tray", "transfer node", "cloud drop", "package box",
                      "sync tunnel"}),
        fromUtf8List({"monogram crest", "journal lock", "heart badge", "home shield", "profile medallion",
                      "memory capsule"}),
    };
    return lists[static_cast<size_t>(category)];
}

} // namespace PromptBuilder::detail

namespace PromptBuilder {

std::optional<QString> brandSubject(const QString &folderName)
{
    const QStringList tokens = detail::keywords(folderName);
    const QString lowerName = lowered(folderName);
    for (const KnownBrand &brand : knownBrands()) {
        for (const QString &keyword : brand.keywords) {
            // Short keywords ("aws", "ios") hide inside ordinary words ("laws", "bios"), so only
            // longer ones may match inside a word.
            if (tokens.contains(keyword) || (keyword.size() > 3 && lowerName.contains(keyword)))
                return brand.subject;
        }
    }
    return std::nullopt;
}

QString build(const ThemePreset &theme, SemanticCategory category, const QString &folderName,
              const QStringList &fileHints, const std::optional<QString> &variationKey,
              bool maintainThemeConsistency)
{
    QStringList cueWords = detail::keywords(folderName);
    for (const QString &hint : fileHints)
        cueWords.append(detail::keywords(detail::removingPathExtension(hint)));
    QStringList cues = detail::unique(cueWords);
    if (cues.size() > 6)
        cues.resize(6);
    const QString cueText = cues.isEmpty() ? folderName : cues.join(QStringLiteral(", "));

    const QString seed = variationKey.value_or(folderName);
    // File hints never decide the brand: a folder holding "docker-compose.yml" is not the Docker folder.
    const std::optional<QString> brand = brandSubject(folderName);

    QString style;
    if (maintainThemeConsistency) {
        style = familyLockSentence(theme);
    } else {
        const QString styleDirection =
            detail::seededChoice(detail::individualStyleDirections(), seed + QStringLiteral(":style"));
        const QString colorDirection =
            detail::seededChoice(detail::individualColorDirections(), seed + QStringLiteral(":color"));
        style = QStringLiteral("Style direction: ") + styleDirection + QStringLiteral(", ") + colorDirection
                + QStringLiteral(". Do not force a shared family look with other folders.");
    }

    QString subject;
    if (brand) {
        subject = QStringLiteral("This folder is named after a well-known brand/product. The centerpiece MUST be "
                                 "the official, instantly recognizable logo mark of ")
                  + *brand
                  + QStringLiteral(". Reproduce the brand mark faithfully in its exact signature shape and colors "
                                   "and make it the hero of the icon (the brand's own logomark or letterform is "
                                   "allowed; absolutely no other text). You may subtly hint at the folder's "
                                   "context (")
                  + cueText
                  + QString::fromUtf8(") through small background props only — never by writing those words.");
    } else {
        subject = QStringLiteral("Core category subject: ") + promptFragment(category)
                  + QStringLiteral(". Primary metaphor (must be obvious): ") + detail::motif(category, seed)
                  + QStringLiteral(". Folder-specific cues: ") + cueText
                  + QStringLiteral(". Use at least one concrete symbol inspired by the folder-specific cues.");
    }

    return QStringLiteral("Create a unique folder icon for macOS for a folder named \"") + folderName
           + QStringLiteral("\". ") + subject + QStringLiteral(" ") + style
           + QStringLiteral(" This icon must be materially distinct from icons of other folders. Variation key "
                            "for composition choices: ")
           + seed
           + QStringLiteral(". ") + renderDirective();
}

QString autoPrompt(const FolderItem &folder, const ThemePreset &theme, bool maintainThemeConsistency)
{
    QStringList hints;
    const QList<FileEntry> files = folder.topFiles();
    for (qsizetype i = 0; i < files.size() && i < FileHintCount; ++i)
        hints.append(files.at(i).name);
    return build(theme, folder.detectedCategory(), folder.name(), hints, folderPath(folder.url()),
                 maintainThemeConsistency);
}

QString promptFor(const FolderItem &folder, const ThemePreset &theme, bool maintainThemeConsistency)
{
    const QString instruction = folder.customPrompt().trimmed();
    if (instruction.isEmpty())
        return autoPrompt(folder, theme, maintainThemeConsistency);

    const QString familySentence = maintainThemeConsistency
        ? familyLockSentence(theme)
        : QStringLiteral("No shared family lock. Prioritize a unique look for this folder.");
    return QStringLiteral("Folder name: \"") + folder.name() + QStringLiteral("\". User instruction (highest priority): ")
        + instruction + QStringLiteral(". ") + familySentence + u' ' + renderDirective()
        + QStringLiteral(" Variation key for composition choices: ") + folderPath(folder.url()) + u'.';
}

const QString &renderDirective()
{
    static const QString directive = QStringLiteral(
        "Render it as a premium macOS app icon in the style of top Dribbble app icon shots: one single centered "
        "hero object, soft studio lighting, gentle highlights and soft contact shadows, rich tactile materials, "
        "crisp silhouette that stays readable at 64 pixels. The background must be a subtle smooth gradient that "
        "fills the ENTIRE square canvas edge to edge - full-bleed artwork, no transparent areas, no rounded "
        "corners, no border, no squircle mask (the corner mask is applied later by the app). Square 1:1 "
        "composition, photographic render quality, no words, no letters, no watermark, no UI chrome.");
    return directive;
}

} // namespace PromptBuilder
