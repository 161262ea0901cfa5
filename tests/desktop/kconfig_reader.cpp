#include "kconfig_reader.h"

#include <QList>

namespace {

QByteArray unescape(const QByteArray &in)
{
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '\\' || i + 1 == in.size()) {
            out += in[i];
            continue;
        }
        const char c = in[++i];
        static const QByteArray plain("stnr\\");
        static const QByteArray meant(" \t\n\r\\");
        if (plain.contains(c)) {
            out += meant[plain.indexOf(c)];
        } else if (c == ';' || c == ',') {
            out += '\\';
            out += c;
        } else if (c == 'x') {
            static const QByteArray hex("0123456789abcdefABCDEF");
            if (i + 2 < in.size() && hex.contains(in[i + 1]) && hex.contains(in[i + 2])) {
                out += char(in.mid(i + 1, 2).toInt(nullptr, 16));
                i += 2;
            } else {
                out += 'x';
            }
        } else {
            out += '\\'; // an unknown escape: the backslash stays, the letter goes
        }
    }
    return out;
}

QString expand(const QString &value)
{
    QString out;
    qsizetype i = 0;
    while (i < value.size()) {
        if (value[i] != u'$' || i + 1 == value.size()) {
            out += value[i++];
        } else if (value[i + 1] == u'$') {
            out += u'$';
            i += 2;
        } else if (value[i + 1] == u'{' && value.indexOf(u'}', i) > 0) {
            const qsizetype close = value.indexOf(u'}', i);
            out += qEnvironmentVariable(value.mid(i + 2, close - i - 2).toLocal8Bit().constData());
            i = close + 1;
        } else {
            qsizetype end = i + 1;
            while (end < value.size() && (value[end].isLetterOrNumber() || value[end] == u'_'))
                ++end;
            if (end == i + 1)
                out += value[i++];
            else
                out += qEnvironmentVariable(value.mid(i + 1, end - i - 1).toLocal8Bit().constData());
            i = std::max(i, end);
        }
    }
    return out;
}

struct Value
{
    QByteArray text;
    bool expand = false;
    bool deleted = false;
    bool locked = false;
};

void store(std::optional<Value> &slot, const Value &value)
{
    if (!slot || !slot->locked)
        slot = value;
}

} // namespace

std::optional<QString> KConfigReader::directoryIcon(const QByteArray &text)
{
    const QByteArray data = text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
    QByteArray group;
    bool fileLocked = false;
    bool groupLocked = false;
    std::optional<Value> plain;     // Icon=
    std::optional<Value> localized; // Icon[]= and Icon[C]=, which outrank it in the C locale
    for (QByteArray line : data.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            QByteArray name;
            bool locked = fileLocked;
            qsizetype pos = 0;
            bool valid = true;
            while (pos < line.size() && line[pos] == '[') {
                const qsizetype close = line.indexOf(']', pos);
                if (close < 0) {
                    valid = false;
                    break;
                }
                const QByteArray part = line.mid(pos + 1, close - pos - 1);
                if (part == "$i" && close + 1 == line.size()) {
                    fileLocked = fileLocked || name.isEmpty();
                    locked = true;
                } else {
                    name += (name.isEmpty() ? "" : "\x1d") + unescape(part);
                }
                pos = close + 1;
            }
            if (valid) {
                group = name;
                groupLocked = locked || fileLocked;
            }
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        QByteArray key = eq < 0 ? line : line.left(eq).trimmed();
        if (key.isEmpty())
            continue;
        Value value{eq < 0 ? QByteArray() : line.mid(eq + 1).trimmed(), false, false, groupLocked};
        std::optional<QByteArray> locale;
        bool skip = false;
        qsizetype open = -1;
        while (!skip && !value.deleted && (open = key.lastIndexOf('[')) >= 0) {
            const qsizetype close = key.indexOf(']', open);
            const QByteArray inner = close < 0 ? QByteArray() : key.mid(open + 1, close - open - 1);
            if (close < 0) {
                skip = true;
            } else if (inner.size() > 1 && inner[0] == '$') {
                for (qsizetype i = 1; i < inner.size() && !value.deleted; ++i) {
                    value.locked = value.locked || inner[i] == 'i';
                    value.expand = value.expand || inner[i] == 'e';
                    value.deleted = inner[i] == 'd';
                }
            } else if (locale) {
                skip = true;
            } else {
                locale = inner;
            }
            key.truncate(open);
        }
        if (skip || group != "Desktop Entry" || unescape(key) != "Icon")
            continue;
        if (value.deleted) {
            store(plain, value);
            continue;
        }
        if (eq < 0)
            continue;
        if (!locale)
            store(plain, value);
        else if (locale->isEmpty() || *locale == "C")
            store(localized, value);
    }
    const std::optional<Value> &chosen = localized ? localized : plain;
    if (!chosen || chosen->deleted)
        return std::nullopt;
    const QString icon = QString::fromUtf8(unescape(chosen->text));
    return chosen->expand ? expand(icon) : icon;
}
