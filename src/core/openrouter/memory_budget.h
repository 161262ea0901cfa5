#pragma once

#include <QtGlobal>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

/// @brief Bytes of answers held in memory and not yet worked off, measured against a limit.
///
/// The network thread charges every body byte it receives and stops reading further answers while
/// the limit is reached; whoever holds the bytes afterwards (the answer, then the image bytes it is
/// reduced to) keeps the charge in a Hold until letting them go. A burst of answers then waits in
/// the server's and the kernel's buffers instead of in this process, and memory follows the work
/// in progress rather than the number of calls.
class MemoryBudget final : public std::enable_shared_from_this<MemoryBudget>
{
public:
    /// A share of the budget, given back when the Hold is destroyed.
    class Hold final
    {
    public:
        Hold(std::shared_ptr<MemoryBudget> budget, qint64 bytes);
        ~Hold();
        qint64 bytes() const { return m_bytes; }

    private:
        std::shared_ptr<MemoryBudget> m_budget;
        qint64 m_bytes;

        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;
    };
    using HoldPointer = std::shared_ptr<const Hold>;

    static std::shared_ptr<MemoryBudget> create(qint64 limitBytes);

    /// Charges `bytes` (never refused: the limit only makes the network wait) and returns the Hold
    /// that gives them back.
    HoldPointer hold(qint64 bytes);

    void charge(qint64 bytes) { m_used.fetch_add(bytes); }
    void release(qint64 bytes);

    bool isExhausted() const { return m_used.load() >= m_limit; }
    qint64 used() const { return m_used.load(); }
    qint64 limit() const { return m_limit; }

    /// Called, from whichever thread released them, whenever bytes are given back. An empty
    /// function removes it.
    void setOnRelease(std::function<void()> callback);

private:
    explicit MemoryBudget(qint64 limitBytes);

    const qint64 m_limit;
    std::atomic<qint64> m_used{0};
    std::mutex m_mutex;
    std::function<void()> m_onRelease; // guarded by m_mutex
};
