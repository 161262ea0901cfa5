#pragma once

class QWidget;

/// @brief How the window's own painted widgets present themselves to screen readers.
///
/// - The view-mode picker is a group of radio buttons, one per option.
/// - Elided labels are labels read in full; the generating overlay is one animation, not letters.
/// - Toasts are alerts: their text is their name, and each new toast is announced.
/// - Panels that slide out of view (the content area's layers, the inspector's pages) list only
///   the children that show; widgets marked with `setSkipped` (the splash) are never listed.
namespace AccessibleWidgets {

/// Makes these interfaces the ones Qt hands out; safe to call often.
void install();

/// Keeps `widget` and everything in it out of what screen readers see.
void setSkipped(QWidget *widget);
bool isSkipped(const QWidget *widget);

/// Announces the toast `toast` shows, as an alert; `showing` also tells it shows anew (Qt tells
/// that by itself when the widget is shown).
void announce(QWidget *toast, bool showing);

} // namespace AccessibleWidgets
