#pragma once

#include <QString>

#include <optional>

/// @brief Keeps the user's OpenRouter API key in an owner-only file under the XDG data directory.
class KeychainService final
{
public:
    enum class KeyType { openRouterApiKey };

    static KeychainService &shared();

    /// Stores the key byte for byte; false when it could not be written or protected.
    bool save(const QString &key, KeyType type = KeyType::openRouterApiKey);
    /// The stored key exactly as saved, or nothing (no file, unreadable, not UTF-8).
    std::optional<QString> load() const;

private:
    KeychainService() = default;
};
