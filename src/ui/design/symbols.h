#pragma once

#include <QFont>
#include <QList>
#include <QString>
#include <QStringView>

class QColor;
class QPainter;
class QRectF;

/// @brief The one table from the window's symbol names ("folder.badge.plus") to Material Icons glyphs.
///
/// Every view names its icons by these symbol names; this file alone decides what is drawn for them.
namespace Symbols {
/// The glyph's text for the symbol font; a visible question-mark glyph for names not in the table.
QString glyph(QStringView symbolName);
/// Whether the table knows the name.
bool contains(QStringView symbolName);
/// The Material Icons font at that pixel size (fractional sizes round to whole pixels).
QFont font(qreal pixelSize);
/// Draws the symbol centred in `rect`.
void paint(QPainter &p, const QRectF &rect, QStringView symbolName, qreal pixelSize, const QColor &colour);

/// Every name in the table, in table order.
QList<QString> allNames();
/// The Material Icons ligature name the symbol maps to (documentation and tests).
QString materialName(QStringView symbolName);
} // namespace Symbols
