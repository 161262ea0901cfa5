#pragma once

#include <QHashFunctions>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <optional>

/// @brief The twelve kinds of folder, in declaration order (which is also keyword-matching order).
enum class SemanticCategory : quint8 {
    code,
    music,
    photos,
    documents,
    finance,
    design,
    video,
    games,
    travel,
    school,
    downloads,
    personal,
};

/// Every category in declaration order.
const std::array<SemanticCategory, 12> &allSemanticCategories();

/// Exact, case-sensitive match against the raw values ("code" ... "personal").
std::optional<SemanticCategory> semanticCategoryFromRawValue(QStringView raw);

QString rawValue(SemanticCategory category);      ///< "code"; also the category's id and serialised form
QString displayName(SemanticCategory category);   ///< "Code": cards and rows
QString fullLabel(SemanticCategory category);     ///< "Code / Development": the inspector
QString sfSymbol(SemanticCategory category);      ///< symbol name of the category glyph
QString promptFragment(SemanticCategory category); ///< subject description for the image prompt
const QStringList &keywords(SemanticCategory category); ///< lower-case name keywords, in matching order

inline size_t qHash(SemanticCategory category, size_t seed = 0) noexcept
{
    return qHash(rawValue(category), seed);
}
