#include "generation_error.h"

#include <QCoreApplication>
#include <QTextBoundaryFinder>

#include <algorithm>

GenerationError::GenerationError(Kind kind, const QString &detail)
    : m_kind(kind)
    , m_detail(cutText(detail))
    , m_what(description().toUtf8())
{
}

QString GenerationError::cutText(const QString &text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    // Room for the ellipsis; then back to the last grapheme boundary, so neither a surrogate pair
    // nor a base letter and its combining marks are split.
    qsizetype end = limit - 1;
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, QStringView(text).left(end + 1).toString());
    boundaries.setPosition(int(end));
    if (!boundaries.isAtBoundary())
        end = std::max<qsizetype>(boundaries.toPreviousBoundary(), 0);
    return text.left(end) + QChar(0x2026);
}

GenerationError GenerationError::apiError(const QString &message)
{
    return GenerationError(Kind::apiError, message);
}

GenerationError GenerationError::apiError(int status, const QString &message)
{
    Kind kind = Kind::apiError;
    if (status == 401 || status == 403)
        kind = Kind::authentication;
    else if (status == 402)
        kind = Kind::spendingLimit;
    else if (status == 429)
        kind = Kind::rateLimit;
    return GenerationError(kind, message);
}

GenerationError GenerationError::networkError(const QString &transportDescription)
{
    return GenerationError(Kind::networkError, transportDescription);
}

GenerationError GenerationError::invalidResponse()
{
    return GenerationError(Kind::invalidResponse, QString());
}

GenerationError GenerationError::imageDecoding()
{
    return GenerationError(Kind::imageDecoding, QString());
}

GenerationError GenerationError::allModelsFailed(const QList<Attempt> &attempts)
{
    QStringList parts;
    for (const Attempt &attempt : attempts)
        parts.append(QLatin1Char('[') + attempt.model + QStringLiteral("] ") + attempt.text);
    // Each attempt's text is already cut; the whole stays a few hundred characters.
    GenerationError error(Kind::apiError, QString());
    error.m_detail = QCoreApplication::translate("GenerationError", "All models failed: %1").arg(parts.join(QStringLiteral(" | ")));
    error.m_attempts = attempts;
    error.m_what = error.description().toUtf8();
    return error;
}

bool GenerationError::involves(Kind kind) const
{
    return m_kind == kind
        || std::any_of(m_attempts.cbegin(), m_attempts.cend(), [kind](const Attempt &a) { return a.kind == kind; });
}

QString GenerationError::description() const
{
    switch (m_kind) {
    case Kind::apiError:
    case Kind::authentication:
    case Kind::rateLimit:
    case Kind::spendingLimit:
        return QCoreApplication::translate("GenerationError", "API Error: %1").arg(m_detail);
    case Kind::networkError:
        return QCoreApplication::translate("GenerationError", "Network error: %1").arg(m_detail);
    case Kind::invalidResponse:
        return QCoreApplication::translate("GenerationError", "Invalid response from API");
    case Kind::imageDecoding:
        return QCoreApplication::translate("GenerationError", "Failed to decode generated image");
    }
    return QString();
}

const char *GenerationError::what() const noexcept
{
    return m_what.constData();
}
