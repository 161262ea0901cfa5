#pragma once

#include <QException>
#include <QList>
#include <QString>

/// @brief Why an icon could not be generated; description() is the text shown to the user.
///
/// The kind is a value of its own: callers decide what to offer (a new key, a retry) from kinds,
/// never by searching the text, which is cut and may say anything a server chose.
class GenerationError final : public QException
{
public:
    /// `apiError` is any other refusal the server explained.
    enum class Kind { apiError, networkError, invalidResponse, imageDecoding, authentication, rateLimit, spendingLimit };

    /// One model's attempt of a generation that failed as a whole.
    struct Attempt
    {
        QString model;
        Kind kind = Kind::apiError;
        QString text;
    };

    /// Server texts are kept to this many characters.
    static constexpr qsizetype maxServerTextLength = 300;
    /// `text` cut to `limit` characters on a character boundary, ending in "…" when it was longer.
    static QString cutText(const QString &text, qsizetype limit = maxServerTextLength);

    static GenerationError apiError(const QString &message);
    /// A refusal whose kind the HTTP status tells (authentication, rate limit, spending limit),
    /// else a plain API error.
    static GenerationError apiError(int status, const QString &message);
    /// `transportDescription` is the HTTP client's own text for the failure.
    static GenerationError networkError(const QString &transportDescription);
    static GenerationError invalidResponse();
    static GenerationError imageDecoding();
    /// Every model failed: "API Error: All models failed: [model] text | …", the attempts kept.
    static GenerationError allModelsFailed(const QList<Attempt> &attempts);

    Kind kind() const { return m_kind; }
    /// The payload: the API message or the transport description, cut; empty otherwise.
    QString detail() const { return m_detail; }
    /// "API Error: …", "Network error: …", "Invalid response from API", "Failed to decode generated image".
    QString description() const;
    /// The attempts of a failure of every model; empty for the error of one attempt.
    QList<Attempt> attempts() const { return m_attempts; }
    /// Whether this error, or any of its attempts, is of `kind`.
    bool involves(Kind kind) const;

    void raise() const override { throw *this; }
    GenerationError *clone() const override { return new GenerationError(*this); }
    const char *what() const noexcept override;

private:
    GenerationError(Kind kind, const QString &detail);

    Kind m_kind;
    QString m_detail;
    QList<Attempt> m_attempts;
    QByteArray m_what;
};
