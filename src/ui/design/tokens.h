#pragma once

#include "design/spring.h"

#include <QColor>
#include <QFont>

class AppState;

/// @brief Every colour, size, font and motion curve the window paints with.
///
/// Sizes are logical pixels. Fonts are the bundled Inter (interface), JetBrains Mono (figures and
/// hints) and Material Icons (symbols, see symbols.h); they are set by pixel size so they match the
/// layout at every scale factor.
namespace Tokens {

/// Registers the bundled fonts with Qt once; called by the application object and window tests.
/// Safe to call again. Returns false when a font could not be loaded (the window then falls back to
/// the system's fonts).
bool registerFonts();

QFont smallFont();   ///< Inter 11 px: secondary texts, hints
QFont bodyFont();    ///< Inter 13 px: names, buttons, toasts
QFont monoSmallFont(); ///< JetBrains Mono 10 px: counts and status words
/// Inter at any size and weight (fractional sizes round to whole pixels).
QFont uiFont(qreal pixelSize, QFont::Weight weight = QFont::Normal);
/// JetBrains Mono at any size and weight.
QFont monoFont(qreal pixelSize, QFont::Weight weight = QFont::Normal);

// Surfaces.
QColor windowBackground();   ///< 0c0c0c: the window behind everything, under toolbar and menu bar
QColor panelBackground();    ///< 111111: the inspector panel body
QColor panelSeparator();     ///< white 6 %: the 1 px line at the inspector's leading edge
QColor toastBackground();    ///< 1c1c1c: the toast capsule
QColor toastOutline();       ///< white 12 %: the toast capsule's outline
QColor toastShadow();        ///< black 50 %: the toast's drop shadow
QColor toolbarBackground();  ///< 0c0c0c: the toolbar shares the window's colour (one surface)
QColor menuBackground();     ///< 1a1a1a: menu bar pop-ups and tooltips
QColor menuText();           ///< white 88 %: menu and tooltip text
QColor disabledText();       ///< white 30 %: greyed menu items

// Status colours (the dark-appearance system colours).
QColor green();  ///< 30d158: applied, success toasts, "Connected"
QColor red();    ///< ff453a: failures, error toasts, error box
QColor orange(); ///< ff9f0a: "Generating" row label, warning toasts
QColor yellow(); ///< ffd60a: "sparkles" status in the batch list, the fast-mode hare

/// White at an opacity, for the many translucent strokes and texts.
QColor white(qreal opacity);
/// Any colour at an opacity (multiplies the colour's own alpha).
QColor withOpacity(QColor colour, qreal opacity);

/// The selected theme's accent: buttons, picker, badges and selection follow the theme.
QColor accent(const AppState &state);

// Motion.
const Spring &quick();    ///< response 0.25 s, damping 0.8: hover, selection, toggles
const Spring &standard(); ///< response 0.4 s, damping 0.8: view mode, appearance of cards
/// The inspector panel's slide: ease-in-out over this many seconds.
constexpr double InspectorSlideSeconds = 0.25;
/// The toast's entrance and exit (slide from the bottom edge with a fade).
constexpr double ToastTransitionSeconds = 0.35;

// Shell geometry.
constexpr int WindowWidth = 1200;
constexpr int WindowHeight = 750;
constexpr int WindowMinWidth = 800;
constexpr int WindowMinHeight = 500;
constexpr int InspectorWidth = 320;      ///< the panel body
constexpr int InspectorSeparatorWidth = 1;
constexpr int ToastBottomMargin = 28;    ///< from the window's bottom edge to the toast

} // namespace Tokens
