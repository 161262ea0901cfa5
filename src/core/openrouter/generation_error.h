#pragma once

#include <QException>
#include <QString>

/// @brief Why an icon could not be generated; description() is the text shown to the user.
class GenerationError final : public QException
{
public:
    enum class Kind { apiError, networkError, invalidResponse, imageDecoding };

    static GenerationError apiError(const QString &message);
    /// `transportDescription` is the HTTP client's own text for the failure.
    static GenerationError networkError(const QString &transportDescription);
    static GenerationError invalidResponse();
    static GenerationError imageDecoding();

    Kind kind() const { return m_kind; }
    /// The payload: the API message or the transport description; empty otherwise.
    QString detail() const { return m_detail; }
    /// "API Error: …", "Network error: …", "Invalid response from API", "Failed to decode generated image".
    QString description() const;

    void raise() const override { throw *this; }
    GenerationError *clone() const override { return new GenerationError(*this); }
    const char *what() const noexcept override;

private:
    GenerationError(Kind kind, const QString &detail);

    Kind m_kind;
    QString m_detail;
    QByteArray m_what;
};
