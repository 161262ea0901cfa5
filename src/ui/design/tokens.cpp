#include "design/tokens.h"

#include "state/app_state.h"

#include <QFontDatabase>
#include <QStringList>

#include <algorithm>

namespace {
const QString InterFamily = QStringLiteral("Inter");
const QString MonoFamily = QStringLiteral("JetBrains Mono");

QFont makeFont(const QString &family, qreal pixelSize, QFont::Weight weight)
{
    Tokens::registerFonts();
    QFont f(family);
    f.setPixelSize(std::max(1, qRound(pixelSize)));
    f.setWeight(weight);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}
} // namespace

namespace Tokens {

bool registerFonts()
{
    static const bool registered = [] {
        // The fonts are compiled into the binary (see src/ui/CMakeLists.txt), so the window looks the
        // same whatever the desktop has installed.
        static const char *const files[] = {
            ":/fonts/Inter-Light.otf",     ":/fonts/Inter-Regular.otf",       ":/fonts/Inter-Medium.otf",
            ":/fonts/Inter-SemiBold.otf",  ":/fonts/Inter-Bold.otf",          ":/fonts/JetBrainsMono-Regular.ttf",
            ":/fonts/JetBrainsMono-Medium.ttf", ":/fonts/JetBrainsMono-Bold.ttf",
            ":/fonts/MaterialIcons-Regular.ttf",
        };
        bool all = true;
        for (const char *file : files)
            all = QFontDatabase::addApplicationFont(QString::fromLatin1(file)) >= 0 && all;
        return all;
    }();
    return registered;
}

QFont smallFont() { return makeFont(InterFamily, 11, QFont::Normal); }
QFont bodyFont() { return makeFont(InterFamily, 13, QFont::Normal); }
QFont monoSmallFont() { return makeFont(MonoFamily, 10, QFont::Normal); }
QFont uiFont(qreal pixelSize, QFont::Weight weight) { return makeFont(InterFamily, pixelSize, weight); }
QFont monoFont(qreal pixelSize, QFont::Weight weight) { return makeFont(MonoFamily, pixelSize, weight); }

QColor windowBackground() { return QColor(0x0c, 0x0c, 0x0c); }
QColor panelBackground() { return QColor(0x11, 0x11, 0x11); }
QColor panelSeparator() { return white(0.06); }
QColor toastBackground() { return QColor(0x1c, 0x1c, 0x1c); }
QColor toastOutline() { return white(0.12); }
QColor toastShadow() { return QColor(0, 0, 0, 128); }
QColor toolbarBackground() { return windowBackground(); }
QColor menuBackground() { return QColor(0x1a, 0x1a, 0x1a); }
QColor menuText() { return white(0.88); }
QColor disabledText() { return white(0.30); }

QColor green() { return QColor(0x30, 0xd1, 0x58); }
QColor red() { return QColor(0xff, 0x45, 0x3a); }
QColor orange() { return QColor(0xff, 0x9f, 0x0a); }
QColor yellow() { return QColor(0xff, 0xd6, 0x0a); }

QColor white(qreal opacity) { return withOpacity(Qt::white, opacity); }

QColor withOpacity(QColor colour, qreal opacity)
{
    colour.setAlphaF(float(std::clamp(colour.alphaF() * opacity, 0.0, 1.0)));
    return colour;
}

QColor accent(const AppState &state) { return state.selectedTheme().palette.accent; }

const Spring &quick()
{
    static const Spring spring{0.25, 0.8};
    return spring;
}

const Spring &standard()
{
    static const Spring spring{0.4, 0.8};
    return spring;
}

} // namespace Tokens
