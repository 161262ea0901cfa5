#include "generation_error.h"

GenerationError::GenerationError(Kind kind, const QString &detail)
    : m_kind(kind)
    , m_detail(detail)
    , m_what(description().toUtf8())
{
}

GenerationError GenerationError::apiError(const QString &message)
{
    return GenerationError(Kind::apiError, message);
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

QString GenerationError::description() const
{
    switch (m_kind) {
    case Kind::apiError:
        return QStringLiteral("API Error: ") + m_detail;
    case Kind::networkError:
        return QStringLiteral("Network error: ") + m_detail;
    case Kind::invalidResponse:
        return QStringLiteral("Invalid response from API");
    case Kind::imageDecoding:
        return QStringLiteral("Failed to decode generated image");
    }
    return QString();
}

const char *GenerationError::what() const noexcept
{
    return m_what.constData();
}
