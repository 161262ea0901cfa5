#pragma once

#include "imaging/icon_image.h"
#include "models/semantic_category.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

/// @brief One entry of a folder's content summary.
struct FileEntry
{
    QUuid id;
    QString name;
    bool isDirectory = false;
    qint64 size = 0;

    friend bool operator==(const FileEntry &, const FileEntry &) = default;
};

size_t qHash(const FileEntry &entry, size_t seed = 0) noexcept;

/// @brief Where a folder's icon is in its lifecycle; `failed` carries the message shown to the user.
class IconState
{
public:
    enum class Kind : quint8 { placeholder, generating, generated, applied, failed };
    /// What kind of failure a `failed` state is: the window decides what to offer from it (a new
    /// key, for an authentication failure), never from the message.
    enum class Failure : quint8 { other, authentication, rateLimit, spendingLimit, network, invalidAnswer, undecodableImage };

    constexpr IconState() = default;
    static IconState placeholder() { return IconState(Kind::placeholder); }
    static IconState generating() { return IconState(Kind::generating); }
    static IconState generated() { return IconState(Kind::generated); }
    static IconState applied() { return IconState(Kind::applied); }
    static IconState failed(const QString &message, Failure failure = Failure::other)
    {
        return IconState(Kind::failed, message, failure);
    }

    Kind kind() const { return m_kind; }
    bool is(Kind kind) const { return m_kind == kind; }
    /// The failure message; empty for every other case.
    QString message() const { return m_message; }
    /// The failure's kind; `other` for every other case.
    Failure failure() const { return m_failure; }

    friend bool operator==(const IconState &, const IconState &) = default;

private:
    explicit IconState(Kind kind, const QString &message = {}, Failure failure = Failure::other)
        : m_kind(kind), m_failure(failure), m_message(message) {}

    Kind m_kind = Kind::placeholder;
    Failure m_failure = Failure::other;
    QString m_message;
};

/// @brief An earlier image of a folder: kept, with what made it, so that no paid image is lost.
struct IconHistoryEntry
{
    /// The icon; null for one restored from the session and not read yet (`file` says where it is).
    IconImage image;
    /// Where the PNG is kept on disk, when it is; its renditions file lies beside it.
    QString file;
    QDateTime generatedAt;
    /// The OpenRouter model that answered with it.
    QString model;
    /// The prompt that was sent.
    QString prompt;
    /// The folder still shows it: it was applied and nothing was applied or reset since.
    bool applied = false;
    /// What OpenRouter said it cost, in US dollars; nothing when it did not say.
    std::optional<double> cost;

    /// No image at all (neither an icon nor a file): what a folder without an image shows.
    bool isNone() const { return image.isNull() && file.isEmpty(); }
    /// Where the PNG is on disk now: the icon's file, else `file`; empty while only memory holds it.
    QString pngPath() const;
    /// An icon that applies this entry's image: the icon itself, or one that knows only its file when it
    /// has not been read. Null for none.
    IconImage applicableImage() const;
    /// Both hold the same image: the same icon, or (one of them not read) the same file. Never for none.
    bool isSameImage(const IconHistoryEntry &other) const;
    /// For an entry known by its file alone: points it at where `moved` says that file is now, when it
    /// says so (a non-empty path).
    void followFile(const std::function<QString(const QString &)> &moved);

    friend bool operator==(const IconHistoryEntry &, const IconHistoryEntry &) = default;
};

class FolderItem;
/// Records are shared: the list holds one reference, each running generation another.
using FolderItemPtr = std::shared_ptr<FolderItem>;

/// @brief The observable record of one added folder.
///
/// Lives on the main thread. Every setter stores and notifies only when the value differs.
/// Make records with create(): the last holder to let go deletes the record on its own thread.
class FolderItem final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderItem)
    Q_PROPERTY(QUuid id READ id CONSTANT)
    Q_PROPERTY(QUrl url READ url NOTIFY urlChanged)
    Q_PROPERTY(SemanticCategory detectedCategory READ detectedCategory WRITE setDetectedCategory NOTIFY detectedCategoryChanged)
    Q_PROPERTY(IconState iconState READ iconState WRITE setIconState NOTIFY iconStateChanged)
    Q_PROPERTY(IconImage generatedImage READ generatedImage WRITE setGeneratedImage NOTIFY generatedImageChanged)
    Q_PROPERTY(QString customPrompt READ customPrompt WRITE setCustomPrompt NOTIFY customPromptChanged)
    Q_PROPERTY(std::optional<QString> lastGeneratedPrompt READ lastGeneratedPrompt WRITE setLastGeneratedPrompt NOTIFY lastGeneratedPromptChanged)
    Q_PROPERTY(std::optional<QDateTime> lastGeneratedAt READ lastGeneratedAt WRITE setLastGeneratedAt NOTIFY lastGeneratedAtChanged)
    Q_PROPERTY(std::optional<double> generationCost READ generationCost WRITE setGenerationCost NOTIFY generationCostChanged)
    Q_PROPERTY(qint64 fileCount READ fileCount WRITE setFileCount NOTIFY fileCountChanged)
    Q_PROPERTY(qint64 folderSizeBytes READ folderSizeBytes WRITE setFolderSizeBytes NOTIFY folderSizeBytesChanged)
    Q_PROPERTY(QList<FileEntry> topFiles READ topFiles WRITE setTopFiles NOTIFY topFilesChanged)
    Q_PROPERTY(QList<IconHistoryEntry> history READ history WRITE setHistory NOTIFY historyChanged)
    Q_PROPERTY(QString lastGeneratedModel READ lastGeneratedModel WRITE setLastGeneratedModel NOTIFY lastGeneratedModelChanged)

public:
    /// A record for `url` of the given category (CategoryDetector::detect picks one from the folder).
    static FolderItemPtr create(const QUrl &url, SemanticCategory category);
    ~FolderItem() override;

    QUuid id() const { return m_id; }
    QUrl url() const { return m_url; }
    /// The folder's name: the last path component of its URL.
    QString name() const;

    SemanticCategory detectedCategory() const { return m_detectedCategory; }
    IconState iconState() const { return m_iconState; }
    /// The last generated icon, or a null IconImage when there is none. Each generation stores a
    /// new icon (a different cacheKey()) and notifies generatedImageChanged once. The record holds
    /// the PNG and small renditions, not the full image: views draw generatedImage().rendition(side
    /// in device pixels), which is at most 240 pixels; the full image is fullImage(), decoded off
    /// the UI thread.
    IconImage generatedImage() const { return m_generatedImage; }
    QString customPrompt() const { return m_customPrompt; }
    std::optional<QString> lastGeneratedPrompt() const { return m_lastGeneratedPrompt; }
    std::optional<QDateTime> lastGeneratedAt() const { return m_lastGeneratedAt; }
    /// What OpenRouter said the current icon cost, in US dollars; nothing when it did not say.
    std::optional<double> generationCost() const { return m_generationCost; }
    qint64 fileCount() const { return m_fileCount; }
    qint64 folderSizeBytes() const { return m_folderSizeBytes; }
    QList<FileEntry> topFiles() const { return m_topFiles; }
    /// The images generated before the current one, newest first. Made now when it was given as a
    /// loader that has not run yet.
    QList<IconHistoryEntry> history() const;
    /// False while the history is still a loader that has not run (see setHistoryLoader()).
    bool isHistoryLoaded() const { return !m_historyLoader; }
    /// The model that answered with the current image; empty when not known.
    QString lastGeneratedModel() const { return m_lastGeneratedModel; }

    /// How many images a folder keeps: the current one and the history together.
    static constexpr int historyLimit = 12;
    /// The current image with what made it, as a history entry (a null image when there is none).
    IconHistoryEntry currentEntry() const;
    /// Makes `entry` the folder's current image (image, date, model, prompt and cost). The image it
    /// replaces goes into the history, by date; the history then drops its oldest entries down to the
    /// limit, never the one still applied to the folder. Leaves the state alone.
    void makeCurrent(const IconHistoryEntry &entry);
    /// makeCurrent() with the history entry at `index`, which leaves the history. False for no such entry.
    bool makeHistoryEntryCurrent(qsizetype index);
    /// Marks which image the folder shows: the current one (`currentApplied`) or none of the history's.
    void markApplied(bool currentApplied);
    /// Makes the image of `entry` current again (an undo): taken out of the history when it is there,
    /// else it comes back as `entry` has it, not applied (an image that had left the history).
    void restoreCurrent(const IconHistoryEntry &entry);
    /// Marks the image of `entry`, one of the history's, as the one the folder shows; an image that had
    /// left the history comes back into it (by date; the oldest then leave down to the limit).
    void markHistoryImageApplied(const IconHistoryEntry &entry);

    /// The folder was renamed or moved: the record follows it (and its name with it).
    void setUrl(const QUrl &url);
    void setDetectedCategory(SemanticCategory category);
    void setIconState(const IconState &state);
    void setGeneratedImage(const IconImage &image);
    void setCustomPrompt(const QString &prompt);
    void setLastGeneratedPrompt(const std::optional<QString> &prompt);
    void setLastGeneratedAt(const std::optional<QDateTime> &at);
    void setGenerationCost(const std::optional<double> &cost);
    void setFileCount(qint64 count);
    void setFolderSizeBytes(qint64 bytes);
    void setTopFiles(const QList<FileEntry> &files);
    void setHistory(const QList<IconHistoryEntry> &history);
    /// The history is what `loader` makes, run the first time anything reads or changes the history
    /// (once, on this record's thread): a restored session's earlier images are mostly never looked
    /// at, so their entries are not made at launch. Notifies only when it replaces a history there was.
    void setHistoryLoader(std::function<QList<IconHistoryEntry>()> loader);
    void setLastGeneratedModel(const QString &model);

    /// Records are the same folder entry exactly when their ids are equal.
    friend bool operator==(const FolderItem &a, const FolderItem &b) { return a.m_id == b.m_id; }

Q_SIGNALS:
    void urlChanged();
    void detectedCategoryChanged();
    void iconStateChanged();
    void generatedImageChanged();
    void customPromptChanged();
    void lastGeneratedPromptChanged();
    void lastGeneratedAtChanged();
    void generationCostChanged();
    void fileCountChanged();
    void folderSizeBytesChanged();
    void topFilesChanged();
    void historyChanged();
    void lastGeneratedModelChanged();

private:
    FolderItem(const QUrl &url, SemanticCategory category);
    void replaceCurrent(const IconHistoryEntry &entry, QList<IconHistoryEntry> history);
    /// Puts `entry` into `history` by date, newest first, then trims it.
    static void insertByDate(QList<IconHistoryEntry> &history, const IconHistoryEntry &entry);
    /// Drops the oldest entries down to what the history holds beside the current image, never an applied one.
    static void trim(QList<IconHistoryEntry> &history);
    /// Runs the history's loader, if it has not run yet.
    void loadHistory() const;

    const QUuid m_id;
    QUrl m_url;
    SemanticCategory m_detectedCategory;
    IconState m_iconState;
    IconImage m_generatedImage;
    QString m_customPrompt;
    std::optional<QString> m_lastGeneratedPrompt;
    std::optional<QDateTime> m_lastGeneratedAt;
    std::optional<double> m_generationCost;
    qint64 m_fileCount = 0;
    qint64 m_folderSizeBytes = 0;
    QList<FileEntry> m_topFiles;
    /// Made from m_historyLoader when first needed; only then is it the history.
    mutable QList<IconHistoryEntry> m_history;
    mutable std::function<QList<IconHistoryEntry>()> m_historyLoader;
    QString m_lastGeneratedModel;
    /// The folder shows the current image (applied, maybe generated on since).
    bool m_currentApplied = false;
};

inline size_t qHash(const FolderItem &item, size_t seed = 0) noexcept { return qHash(item.id(), seed); }

/// The folder's name as cards, prompts and toasts show it: the last path component of `url`.
QString folderDisplayName(const QUrl &url);

Q_DECLARE_METATYPE(IconState)
Q_DECLARE_METATYPE(FileEntry)
Q_DECLARE_METATYPE(IconHistoryEntry)
