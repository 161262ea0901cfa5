#pragma once

// The building blocks of the prompt builder. Not part of its public interface: the prompt is the
// product, these are exposed only so that tests can pin each step down on its own.

#include "models/semantic_category.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace PromptBuilder::detail {

/// Cue words of a name, in order, duplicates kept: camel-case split (ASCII), lower-cased, cut at
/// everything that is neither a letter nor a digit; pieces shorter than 3 characters, stop words and
/// purely numeric pieces are dropped.
QStringList keywords(const QString &text);

/// Keeps the first occurrence of each string, in order.
QStringList unique(const QStringList &words);

/// 64-bit FNV-1a over the UTF-8 bytes of the text (with the program's own offset basis).
quint64 seedValue(const QString &text);

/// The entry picked by the seed's hash, or an empty string for an empty list.
QString seededChoice(const QStringList &choices, const QString &seed);

/// The category motif picked by the seed.
QString motif(SemanticCategory category, const QString &seed);

/// A file name without its last extension ("archive.tar.gz" → "archive.tar").
QString removingPathExtension(const QString &fileName);

const QStringList &individualStyleDirections();
const QStringList &individualColorDirections();
const QStringList &motifs(SemanticCategory category);

} // namespace PromptBuilder::detail
