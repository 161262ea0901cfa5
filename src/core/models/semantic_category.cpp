#include "models/semantic_category.h"

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
    {"code", "Code", "Code / Development", "chevron.left.forwardslash.chevron.right",
     "source code, terminal brackets, programming symbols, developer tools",
     {"code", "dev", "project", "src", "app", "web", "api", "react", "swift", "python", "node", "git", "repo",
      "build", "dist", "lib", "xcode", "github", "npm", "cargo", "flutter"}},
    {"music", "Music", "Music / Audio", "music.note", "musical notes, sound waves, headphones, vinyl record",
     {"music", "songs", "audio", "podcast", "beats", "playlist", "album", "wav", "mp3", "sound", "spotify",
      "itunes"}},
    {"photos", "Photos", "Photos / Images", "photo.on.rectangle",
     "camera lens, image frames, landscape, photography",
     {"photos", "images", "pictures", "camera", "gallery", "screenshots", "wallpaper", "img", "assets",
      "pics"}},
    {"documents", "Documents", "Documents / Writing", "doc.text",
     "paper sheets, text lines, writing, notebook pages",
     {"docs", "documents", "notes", "writing", "letters", "reports", "papers", "essays", "drafts",
      "manuscripts", "txt"}},
    {"finance", "Finance", "Finance / Business", "dollarsign.circle",
     "charts, currency symbols, graphs, financial data",
     {"finance", "taxes", "invoices", "budget", "accounting", "expenses", "receipts", "salary", "banking",
      "investment", "tax"}},
    {"design", "Design", "Design / Creative", "paintpalette",
     "color palette, paintbrush, creative tools, design elements",
     {"design", "ui", "ux", "figma", "sketch", "creative", "artwork", "graphics", "illustration", "mockup",
      "adobe"}},
    {"video", "Video", "Video / Film", "film", "film reel, play button, camera, clapperboard",
     {"video", "movies", "film", "clips", "recordings", "youtube", "premiere", "editing", "render",
      "footage"}},
    {"games", "Games", "Games / Fun", "gamecontroller", "game controller, joystick, pixel hearts, arcade",
     {"games", "gaming", "steam", "saves", "mods", "levels", "rom", "minecraft", "unity"}},
    {"travel", "Travel", "Travel / Places", "airplane", "globe, compass, airplane, world map",
     {"travel", "vacation", "trip", "flight", "hotel", "booking", "passport", "adventure"}},
    {"school", "School", "School / Learning", "graduationcap",
     "graduation cap, books, pencil, academic symbols",
     {"school", "college", "university", "homework", "study", "course", "class", "lecture", "assignment",
      "research"}},
    {"downloads", "Downloads", "Downloads", "arrow.down.circle", "download arrow, cloud, transfer, inbox",
     {"download", "temp", "inbox", "incoming", "transfer"}},
    {"personal", "Personal", "Personal", "person.circle",
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
QString displayName(SemanticCategory category) { return QString::fromLatin1(texts(category).displayName); }
QString fullLabel(SemanticCategory category) { return QString::fromLatin1(texts(category).fullLabel); }
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
