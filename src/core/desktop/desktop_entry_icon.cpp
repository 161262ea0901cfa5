#include "desktop/desktop_entry_icon.h"

#include <QList>

#include <glib.h>

#include <memory>

namespace {

constexpr char kGroup[] = "Desktop Entry";
constexpr char kKey[] = "Icon";

struct KeyFileDeleter
{
    void operator()(GKeyFile *file) const { g_key_file_free(file); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileDeleter>;

KeyFilePtr parse(const QByteArray &text)
{
    KeyFilePtr file(g_key_file_new());
    const auto flags = GKeyFileFlags(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);
    if (!g_key_file_load_from_data(file.get(), text.constData(), gsize(text.size()), flags, nullptr))
        return {};
    return file;
}

// Every group, key and raw value GKeyFile reads, except the one key these edits own. Groups without keys
// leave no trace, so dropping the header of a group that only held our key does not count as a change.
QList<QByteArray> contentBesidesIcon(GKeyFile *file)
{
    QList<QByteArray> entries;
    gchar **groups = g_key_file_get_groups(file, nullptr);
    for (gchar **group = groups; *group; ++group) {
        gchar **keys = g_key_file_get_keys(file, *group, nullptr, nullptr);
        for (gchar **key = keys; keys && *key; ++key) {
            if (qstrcmp(*group, kGroup) == 0 && qstrcmp(*key, kKey) == 0)
                continue;
            gchar *value = g_key_file_get_value(file, *group, *key, nullptr);
            entries.append(QByteArray(*group) + '\x1f' + *key + '\x1f' + (value ? value : ""));
            g_free(value);
        }
        g_strfreev(keys);
    }
    g_strfreev(groups);
    return entries;
}

// The value as GKeyFile would write it: backslashes, line breaks and a leading space escaped.
QByteArray escaped(const QString &value)
{
    KeyFilePtr scratch(g_key_file_new());
    g_key_file_set_string(scratch.get(), "g", "k", value.toUtf8().constData());
    gchar *raw = g_key_file_get_value(scratch.get(), "g", "k", nullptr);
    QByteArray result(raw ? raw : "");
    g_free(raw);
    return result;
}

bool isSpace(char c)
{
    return g_ascii_isspace(c);
}

/// One line of the file with its own line break, classified the way GKeyFile classifies it.
struct Line
{
    QByteArray raw;   // bytes including the line break
    QByteArray body;  // without the line break and leading blanks
    QByteArray eol;   // "\n", "\r\n" or "" for a last line without one

    bool isGroup() const
    {
        if (!body.startsWith('['))
            return false;
        const qsizetype close = body.indexOf(']');
        if (close < 0)
            return false;
        for (qsizetype i = close + 1; i < body.size(); ++i) {
            if (body[i] != ' ' && body[i] != '\t')
                return false;
        }
        return true;
    }
    QByteArray groupName() const { return body.mid(1, body.indexOf(']') - 1); }
    QByteArray key() const
    {
        const qsizetype eq = body.indexOf('=');
        if (eq <= 0 || body.startsWith('#'))
            return {};
        QByteArray key = body.left(eq);
        while (!key.isEmpty() && isSpace(key.back()))
            key.chop(1);
        return key;
    }
};

QList<Line> splitLines(const QByteArray &text)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype newline = text.indexOf('\n', start);
        const qsizetype end = newline < 0 ? text.size() : newline + 1;
        Line line;
        line.raw = text.mid(start, end - start);
        QByteArray content = line.raw;
        if (content.endsWith("\r\n"))
            line.eol = "\r\n";
        else if (content.endsWith('\n'))
            line.eol = "\n";
        content.chop(line.eol.size());
        qsizetype first = 0;
        while (first < content.size() && isSpace(content[first]))
            ++first;
        line.body = content.mid(first);
        lines.append(line);
        start = end;
    }
    return lines;
}

QByteArray joined(const QList<Line> &lines)
{
    QByteArray text;
    for (const Line &line : lines)
        text += line.raw;
    return text;
}

// Indexes of the `Icon` key lines inside `[Desktop Entry]` groups (a group may appear more than once).
QList<qsizetype> iconLines(const QList<Line> &lines)
{
    QList<qsizetype> found;
    bool inGroup = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].isGroup())
            inGroup = lines[i].groupName() == kGroup;
        else if (inGroup && lines[i].key() == kKey)
            found.append(i);
    }
    return found;
}

// What GKeyFile reads from one `Icon=` line, so escapes are undone exactly as the file managers see them.
QString valueOfLine(const Line &line)
{
    KeyFilePtr scratch = parse(QByteArray("[g]\n") + line.body + '\n');
    if (!scratch)
        return {};
    gchar *value = g_key_file_get_string(scratch.get(), "g", kKey, nullptr);
    const QString result = value ? QString::fromUtf8(value) : QString();
    g_free(value);
    return result;
}

std::optional<QByteArray> verified(const QByteArray &before, const QByteArray &after)
{
    KeyFilePtr original = parse(before);
    KeyFilePtr edited = parse(after);
    if (!original || !edited || contentBesidesIcon(original.get()) != contentBesidesIcon(edited.get()))
        return std::nullopt;
    return after;
}

} // namespace

namespace DesktopEntryIcon {

std::optional<QByteArray> withIcon(const QByteArray &text, const QString &iconPath)
{
    if (!parse(text))
        return std::nullopt;
    const QByteArray value = escaped(iconPath);
    QList<Line> lines = splitLines(text);
    const QList<qsizetype> existing = iconLines(lines);

    if (!existing.isEmpty()) {
        // Replace in place, so the line keeps its position and line break.
        for (qsizetype index : existing) {
            Line &line = lines[index];
            line.body = QByteArray(kKey) + '=' + value;
            line.raw = line.body + line.eol;
        }
    } else {
        qsizetype header = -1;
        for (qsizetype i = 0; i < lines.size() && header < 0; ++i) {
            if (lines[i].isGroup() && lines[i].groupName() == kGroup)
                header = i;
        }
        if (header >= 0) {
            Line &group = lines[header];
            if (group.eol.isEmpty()) {
                group.eol = "\n";
                group.raw += group.eol;
            }
            Line icon;
            icon.body = QByteArray(kKey) + '=' + value;
            icon.eol = group.eol;
            icon.raw = icon.body + icon.eol;
            lines.insert(header + 1, icon);
        } else {
            // A new group goes last: put first, the user's leading comments would fall into it.
            const QByteArray eol = (!lines.isEmpty() && lines.first().eol == "\r\n") ? "\r\n" : "\n";
            if (!lines.isEmpty() && lines.last().eol.isEmpty()) {
                lines.last().eol = eol;
                lines.last().raw += eol;
            }
            Line group;
            group.body = QByteArray("[") + kGroup + ']';
            group.eol = eol;
            group.raw = group.body + eol;
            Line icon;
            icon.body = QByteArray(kKey) + '=' + value;
            icon.eol = eol;
            icon.raw = icon.body + eol;
            lines.append(group);
            lines.append(icon);
        }
    }

    const QByteArray edited = joined(lines);
    const std::optional<QString> written = icon(edited);
    if (!written || *written != iconPath)
        return std::nullopt;
    return verified(text, edited);
}

std::optional<QByteArray> withoutIcon(const QByteArray &text, const std::function<bool(const QString &)> &isOurs)
{
    if (!parse(text))
        return std::nullopt;
    QList<Line> lines = splitLines(text);
    QList<qsizetype> removed;
    for (qsizetype index : iconLines(lines)) {
        if (isOurs(valueOfLine(lines[index])))
            removed.append(index);
    }
    if (removed.isEmpty())
        return text;

    QList<bool> drop(lines.size(), false);
    for (qsizetype index : removed)
        drop[index] = true;
    // A `[Desktop Entry]` header that only held our key was added with it: take it away as well.
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines[i].isGroup() || lines[i].groupName() != kGroup)
            continue;
        bool hadOurs = false;
        bool keepsSomething = false;
        qsizetype j = i + 1;
        for (; j < lines.size() && !lines[j].isGroup(); ++j) {
            if (drop[j])
                hadOurs = true;
            else
                keepsSomething = true;
        }
        if (hadOurs && !keepsSomething)
            drop[i] = true;
        i = j - 1;
    }
    QList<Line> kept;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!drop[i])
            kept.append(lines[i]);
    }
    return verified(text, joined(kept));
}

std::optional<QString> icon(const QByteArray &text)
{
    KeyFilePtr file = parse(text);
    if (!file)
        return std::nullopt;
    gchar *value = g_key_file_get_string(file.get(), kGroup, kKey, nullptr);
    if (!value)
        return std::nullopt;
    const QString result = QString::fromUtf8(value);
    g_free(value);
    return result;
}

} // namespace DesktopEntryIcon
