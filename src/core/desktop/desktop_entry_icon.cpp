#include "desktop/desktop_entry_icon.h"

#include <QList>
#include <QMap>

// Dolphin and PCManFM-Qt read `.directory` through KConfig, which is far more forgiving than GKeyFile: it
// skips a byte-order mark, lines without '=' and broken group headers, lets a group appear several times
// and the last duplicate key win, and takes options such as `Icon[$e]=` (a value with variables to expand)
// for the same key. Every line here is classified exactly as KConfig classifies it, so the icon we write
// is the one those file managers show, and every other entry is checked to read the same after the edit.
namespace {

constexpr char kGroup[] = "Desktop Entry";
constexpr char kKey[] = "Icon";

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

QByteArray trimmed(const QByteArray &bytes)
{
    qsizetype first = 0;
    qsizetype last = bytes.size();
    while (first < last && isBlank(bytes[first]))
        ++first;
    while (last > first && isBlank(bytes[last - 1]))
        --last;
    return bytes.mid(first, last - first);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// KConfig's escapes in group names, keys and values. An unknown escape leaves a lone backslash, and
// `\;` and `\,` stay as they are (list separators of desktop files).
QByteArray unescaped(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size()) {
            out += '\\';
            break;
        }
        switch (text[i]) {
        case 's': out += ' '; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        case ';': out += "\\;"; break;
        case ',': out += "\\,"; break;
        case 'x':
            if (i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
                out += char(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
                i += 2;
            } else {
                out += 'x';
            }
            break;
        default: out += '\\'; break;
        }
    }
    return out;
}

// A value as KConfig writes it: it trims values, so blanks at either end are escaped, and so is every
// byte that would end or break the line.
QByteArray escaped(const QString &value)
{
    const QByteArray bytes = value.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (c == ' ' && (i == 0 || i == bytes.size() - 1))
            out += "\\s";
        else if (uchar(c) < 0x20 || c == '\x7f')
            out += "\\x" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

// Expands `$VAR`, `${VAR}` and `$$` the way KConfig does for an entry marked `[$e]`; a command
// substitution `$(…)` is left as written.
QString expanded(const QString &value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'$' || i + 1 >= value.size()) {
            out += value[i];
            continue;
        }
        const QChar next = value[i + 1];
        if (next == u'$') {
            out += u'$';
            ++i;
        } else if (next == u'{') {
            const qsizetype close = value.indexOf(u'}', i + 2);
            if (close < 0) {
                out += value.mid(i);
                break;
            }
            out += qEnvironmentVariable(value.mid(i + 2, close - i - 2).toLocal8Bit().constData());
            i = close;
        } else if (next.isLetterOrNumber() || next == u'_') {
            qsizetype end = i + 1;
            while (end < value.size() && (value[end].isLetterOrNumber() || value[end] == u'_'))
                ++end;
            out += qEnvironmentVariable(value.mid(i + 1, end - i - 1).toLocal8Bit().constData());
            i = end - 1;
        } else {
            out += value[i];
        }
    }
    return out;
}

/// One physical line with its own line break, and what KConfig makes of it.
struct Line
{
    enum class Kind { ignored, group, entry, deletion };
    QByteArray raw; // bytes including the line break
    QByteArray eol; // "\n" or "" for a last line without one
    Kind kind = Kind::ignored;
    QByteArray group; // the group this line belongs to; for a header, the group it opens
    bool immutable = false;
    // Entries only:
    QByteArray key;
    std::optional<QByteArray> locale;
    bool expand = false;
    QByteArray value;

    // `Icon=` in `[Desktop Entry]`, in any of the forms KConfig reads as the icon in the default locale
    // (an empty or "C" locale outranks the plain key there).
    bool isIcon() const
    {
        return (kind == Kind::entry || kind == Kind::deletion) && group == kGroup && key == kKey
            && (!locale || locale->isEmpty() || *locale == "C");
    }
};

QList<Line> parse(const QByteArray &text)
{
    QList<Line> lines;
    QByteArray group;
    bool fileImmutable = false;
    bool groupImmutable = false;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype newline = text.indexOf('\n', start);
        const qsizetype end = newline < 0 ? text.size() : newline + 1;
        Line line;
        line.raw = text.mid(start, end - start);
        line.eol = newline < 0 ? QByteArray() : QByteArray("\n");
        QByteArray body = line.raw.left(line.raw.size() - line.eol.size());
        if (start == 0 && body.startsWith("\xEF\xBB\xBF"))
            body.remove(0, 3);
        start = end;
        body = trimmed(body);
        line.group = group;
        line.immutable = groupImmutable;
        lines.append(line);
        Line &parsed = lines.last();
        if (body.isEmpty() || body.startsWith('#'))
            continue;

        if (body.startsWith('[')) {
            QByteArray name;
            bool immutable = fileImmutable;
            qsizetype from = 1;
            qsizetype close = 0;
            bool valid = true;
            do {
                close = body.indexOf(']', from);
                if (close < 0) {
                    valid = false; // a broken header leaves the current group as it was
                    break;
                }
                if (close + 1 == body.size() && from + 2 == close && body[from] == '$' && body[from + 1] == 'i') {
                    if (name.isEmpty())
                        fileImmutable = true;
                    immutable = true;
                } else {
                    if (!name.isEmpty())
                        name += '\x1d';
                    name += unescaped(body.mid(from, close - from));
                }
                from = close + 2;
            } while (from <= body.size() && body[close + 1] == '[');
            if (!valid)
                continue;
            group = name;
            groupImmutable = immutable || fileImmutable;
            parsed.kind = Line::Kind::group;
            parsed.group = group;
            parsed.immutable = groupImmutable;
            continue;
        }

        const qsizetype eq = body.indexOf('=');
        QByteArray key = eq < 0 ? body : trimmed(body.left(eq));
        if (key.isEmpty())
            continue;
        bool broken = false;
        bool deleted = false;
        qsizetype open = -1;
        while (!broken && !deleted && (open = key.lastIndexOf('[')) >= 0) {
            const qsizetype close = key.indexOf(']', open);
            if (close < 0) {
                broken = true;
            } else if (close > open + 1 && key[open + 1] == '$') {
                for (qsizetype i = open + 2; i < close; ++i) {
                    if (key[i] == 'i')
                        parsed.immutable = true;
                    else if (key[i] == 'e')
                        parsed.expand = true;
                    else if (key[i] == 'd')
                        deleted = true;
                }
            } else if (parsed.locale) {
                broken = true; // a second locale
            } else {
                parsed.locale = key.mid(open + 1, close - open - 1);
            }
            key.truncate(open);
        }
        if (broken)
            continue;
        if (deleted) {
            // A deletion names the key as it stands left of the marker, locale brackets and all.
            parsed.kind = Line::Kind::deletion;
            parsed.key = unescaped(key);
            parsed.locale.reset();
            continue;
        }
        if (eq < 0)
            continue;
        parsed.kind = Line::Kind::entry;
        parsed.key = unescaped(key);
        parsed.value = unescaped(trimmed(body.mid(eq + 1)));
    }
    return lines;
}

struct Entry
{
    QByteArray value;
    bool deleted = false;
    bool expand = false;
    bool immutable = false;

    friend bool operator==(const Entry &, const Entry &) = default;
};

// What KConfig ends with after reading every line: later lines win, except over an immutable entry.
QMap<QByteArray, Entry> entriesOf(const QList<Line> &lines, bool withIcon)
{
    QMap<QByteArray, Entry> entries;
    for (const Line &line : lines) {
        if (line.kind != Line::Kind::entry && line.kind != Line::Kind::deletion)
            continue;
        if (!withIcon && line.isIcon())
            continue;
        QByteArray name = line.group + '\x1f' + line.key;
        if (line.locale)
            name += '\x1e' + (*line.locale == "C" ? QByteArray() : *line.locale); // one slot, as in KConfig
        const auto existing = entries.constFind(name);
        if (existing != entries.cend() && existing->immutable)
            continue;
        entries.insert(name, Entry{line.kind == Line::Kind::deletion ? QByteArray() : line.value,
                                   line.kind == Line::Kind::deletion, line.expand, line.immutable});
    }
    return entries;
}

std::optional<QString> iconOf(const QList<Line> &lines)
{
    const QMap<QByteArray, Entry> entries = entriesOf(lines, true);
    const QByteArray plain = QByteArray(kGroup) + '\x1f' + kKey;
    // A localized entry for the default locale outranks the plain key, wherever it stands.
    for (const QByteArray &name : {plain + '\x1e', plain}) {
        const auto found = entries.constFind(name);
        if (found == entries.cend())
            continue;
        if (found->deleted)
            return std::nullopt;
        const QString value = QString::fromUtf8(found->value);
        return found->expand ? expanded(value) : value;
    }
    return std::nullopt;
}

QByteArray joined(const QList<Line> &lines)
{
    QByteArray text;
    for (const Line &line : lines)
        text += line.raw;
    return text;
}

// The edit is handed back only when KConfig reads every entry besides the icon exactly as before.
std::optional<QByteArray> verified(const QList<Line> &before, const QByteArray &after)
{
    if (entriesOf(before, false) != entriesOf(parse(after), false))
        return std::nullopt;
    return after;
}

QByteArray iconLine(const QString &iconPath, const QByteArray &eol)
{
    return QByteArray(kKey) + '=' + escaped(iconPath) + eol;
}

} // namespace

namespace DesktopEntryIcon {

std::optional<QByteArray> withIcon(const QByteArray &text, const QString &iconPath)
{
    const QList<Line> original = parse(text);
    QList<Line> lines = original;
    // A file written on Windows keeps its line breaks: the carriage return is part of the line's body.
    const QByteArray eol = text.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    bool replaced = false;
    for (Line &line : lines) {
        if (!line.isIcon())
            continue;
        // Replaced in place, so the line keeps its position and line break; every form of it (`[$e]`,
        // `[$d]`, a default-locale variant) becomes our plain key.
        const bool crlf = line.raw.endsWith("\r\n");
        line.raw = iconLine(iconPath, crlf ? QByteArray("\r\n") : line.eol);
        replaced = true;
    }
    if (!replaced) {
        qsizetype header = -1;
        for (qsizetype i = 0; i < lines.size() && header < 0; ++i) {
            if (lines[i].kind == Line::Kind::group && lines[i].group == kGroup)
                header = i;
        }
        if (header >= 0) {
            Line &group = lines[header];
            if (group.eol.isEmpty()) {
                group.eol = "\n";
                group.raw += eol;
            }
            Line icon;
            icon.raw = iconLine(iconPath, group.raw.endsWith("\r\n") ? QByteArray("\r\n") : QByteArray("\n"));
            lines.insert(header + 1, icon);
        } else {
            // A new group goes last: put first, the user's leading lines would fall into it.
            if (!lines.isEmpty() && lines.last().eol.isEmpty())
                lines.last().raw += eol;
            Line group;
            group.raw = QByteArray("[") + kGroup + ']' + eol;
            Line icon;
            icon.raw = iconLine(iconPath, eol);
            lines.append(group);
            lines.append(icon);
        }
    }

    const QByteArray edited = joined(lines);
    if (iconOf(parse(edited)) != std::optional<QString>(iconPath))
        return std::nullopt;
    return verified(original, edited);
}

std::optional<QByteArray> withoutIcon(const QByteArray &text, const std::function<bool(const QString &)> &isOurs)
{
    const QList<Line> lines = parse(text);
    QList<bool> drop(lines.size(), false);
    bool any = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line &line = lines[i];
        if (line.isIcon() && line.kind == Line::Kind::entry
            && isOurs(line.expand ? expanded(QString::fromUtf8(line.value)) : QString::fromUtf8(line.value))) {
            drop[i] = true;
            any = true;
        }
    }
    if (!any)
        return text;

    // A `[Desktop Entry]` header that only held our key was added with it: take it away as well.
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != Line::Kind::group || lines[i].group != kGroup)
            continue;
        const bool userFileStart = i == 0 && lines[i].raw.startsWith("\xEF\xBB\xBF");
        bool hadOurs = false;
        bool keepsSomething = false;
        qsizetype j = i + 1;
        for (; j < lines.size() && lines[j].kind != Line::Kind::group; ++j) {
            if (drop[j])
                hadOurs = true;
            else
                keepsSomething = true;
        }
        if (hadOurs && !keepsSomething && !userFileStart)
            drop[i] = true;
        i = j - 1;
    }
    QList<Line> kept;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!drop[i])
            kept.append(lines[i]);
    }
    // The line before a dropped last line gave it its line break; without the last line, the file
    // ends as it ended before that line was added.
    QByteArray edited = joined(kept);
    if (drop.last() && lines.last().eol.isEmpty() && edited.endsWith('\n')) {
        edited.chop(1);
        if (edited.endsWith('\r'))
            edited.chop(1);
    }
    const std::optional<QString> left = iconOf(parse(edited));
    if (left && isOurs(*left))
        return std::nullopt;
    return verified(lines, edited);
}

std::optional<QString> icon(const QByteArray &text)
{
    return iconOf(parse(text));
}

} // namespace DesktopEntryIcon
