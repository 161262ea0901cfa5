#include "models/semantic_category.h"

#include <QCoreApplication>

namespace {

struct CategoryTexts
{
    const char *rawValue;
    const char *displayName;
    const char *fullLabel;
    const char *sfSymbol;
    const char *promptFragment;
    std::initializer_list<const char *> keywords;
};

// Indexed by the enum's ordinal.
const CategoryTexts Texts[] = {
    {"code", QT_TRANSLATE_NOOP("SemanticCategory", "Code"), QT_TRANSLATE_NOOP("SemanticCategory", "Code / Development"),
     "chevron.left.forwardslash.chevron.right",
     "source code, terminal brackets, programming symbols, developer tools",
     {"code", "dev", "project", "src", "app", "web", "api", "react", "swift", "python", "node", "git", "repo",
      "build", "dist", "lib", "xcode", "github", "npm", "cargo", "flutter"}},
    {"music", QT_TRANSLATE_NOOP("SemanticCategory", "Music"), QT_TRANSLATE_NOOP("SemanticCategory", "Music / Audio"),
     "music.note", "musical notes, sound waves, headphones, vinyl record",
     {"music", "songs", "audio", "podcast", "beats", "playlist", "album", "wav", "mp3", "sound", "spotify",
      "itunes"}},
    {"photos", QT_TRANSLATE_NOOP("SemanticCategory", "Photos"), QT_TRANSLATE_NOOP("SemanticCategory", "Photos / Images"),
     "photo.on.rectangle",
     "camera lens, image frames, landscape, photography",
     {"photos", "images", "pictures", "camera", "gallery", "screenshots", "wallpaper", "img", "assets",
      "pics"}},
    {"documents", QT_TRANSLATE_NOOP("SemanticCategory", "Documents"), QT_TRANSLATE_NOOP("SemanticCategory", "Documents / Writing"),
     "doc.text",
     "paper sheets, text lines, writing, notebook pages",
     {"docs", "documents", "notes", "writing", "letters", "reports", "papers", "essays", "drafts",
      "manuscripts", "txt"}},
    {"finance", QT_TRANSLATE_NOOP("SemanticCategory", "Finance"), QT_TRANSLATE_NOOP("SemanticCategory", "Finance / Business"),
     "dollarsign.circle",
     "charts, currency symbols, graphs, financial data",
     {"finance", "taxes", "invoices", "budget", "accounting", "expenses", "receipts", "salary", "banking",
      "investment", "tax"}},
    {"design", QT_TRANSLATE_NOOP("SemanticCategory", "Design"), QT_TRANSLATE_NOOP("SemanticCategory", "Design / Creative"),
     "paintpalette",
     "color palette, paintbrush, creative tools, design elements",
     {"design", "ui", "ux", "figma", "sketch", "creative", "artwork", "graphics", "illustration", "mockup",
      "adobe"}},
    {"video", QT_TRANSLATE_NOOP("SemanticCategory", "Video"), QT_TRANSLATE_NOOP("SemanticCategory", "Video / Film"),
     "film", "film reel, play button, camera, clapperboard",
     {"video", "movies", "film", "clips", "recordings", "youtube", "premiere", "editing", "render",
      "footage"}},
    {"games", QT_TRANSLATE_NOOP("SemanticCategory", "Games"), QT_TRANSLATE_NOOP("SemanticCategory", "Games / Fun"),
     "gamecontroller", "game controller, joystick, pixel hearts, arcade",
     {"games", "gaming", "steam", "saves", "mods", "levels", "rom", "minecraft", "unity"}},
    {"travel", QT_TRANSLATE_NOOP("SemanticCategory", "Travel"), QT_TRANSLATE_NOOP("SemanticCategory", "Travel / Places"),
     "airplane", "globe, compass, airplane, world map",
     {"travel", "vacation", "trip", "flight", "hotel", "booking", "passport", "adventure"}},
    {"school", QT_TRANSLATE_NOOP("SemanticCategory", "School"), QT_TRANSLATE_NOOP("SemanticCategory", "School / Learning"),
     "graduationcap",
     "graduation cap, books, pencil, academic symbols",
     {"school", "college", "university", "homework", "study", "course", "class", "lecture", "assignment",
      "research"}},
    {"downloads", QT_TRANSLATE_NOOP("SemanticCategory", "Downloads"), QT_TRANSLATE_NOOP("SemanticCategory", "Downloads"),
     "arrow.down.circle", "download arrow, cloud, transfer, inbox",
     {"download", "temp", "inbox", "incoming", "transfer"}},
    {"personal", QT_TRANSLATE_NOOP("SemanticCategory", "Personal"), QT_TRANSLATE_NOOP("SemanticCategory", "Personal"),
     "person.circle",
     "person silhouette, heart, journal, personal diary",
     {"personal", "private", "journal", "diary", "me", "self", "health", "fitness", "recipe"}},
};
static_assert(std::size(Texts) == 12);

const CategoryTexts &texts(SemanticCategory category)
{
    return Texts[static_cast<int>(category)];
}

} // namespace

const std::array<SemanticCategory, 12> &allSemanticCategories()
{
    static const std::array<SemanticCategory, 12> all = [] {
        std::array<SemanticCategory, 12> result{};
        for (int i = 0; i < 12; ++i)
            result[i] = static_cast<SemanticCategory>(i);
        return result;
    }();
    return all;
}

std::optional<SemanticCategory> semanticCategoryFromRawValue(QStringView raw)
{
    for (SemanticCategory category : allSemanticCategories()) {
        if (raw == QLatin1StringView(texts(category).rawValue))
            return category;
    }
    return std::nullopt;
}

QString rawValue(SemanticCategory category) { return QString::fromLatin1(texts(category).rawValue); }
QString displayName(SemanticCategory category)
{
    return QCoreApplication::translate("SemanticCategory", texts(category).displayName);
}
QString fullLabel(SemanticCategory category)
{
    return QCoreApplication::translate("SemanticCategory", texts(category).fullLabel);
}
QString sfSymbol(SemanticCategory category) { return QString::fromLatin1(texts(category).sfSymbol); }
QString promptFragment(SemanticCategory category) { return QString::fromLatin1(texts(category).promptFragment); }

const QStringList &keywords(SemanticCategory category)
{
    static const std::array<QStringList, 12> lists = [] {
        std::array<QStringList, 12> result;
        for (int i = 0; i < 12; ++i) {
            for (const char *word : Texts[i].keywords)
                result[i].append(QString::fromLatin1(word));
        }
        return result;
    }();
    return lists[static_cast<int>(category)];
}
