#include "memory_budget.h"

MemoryBudget::MemoryBudget(qint64 limitBytes)
    : m_limit(limitBytes)
{
}

std::shared_ptr<MemoryBudget> MemoryBudget::create(qint64 limitBytes)
{
    return std::shared_ptr<MemoryBudget>(new MemoryBudget(limitBytes));
}

MemoryBudget::Hold::Hold(std::shared_ptr<MemoryBudget> budget, qint64 bytes)
    : m_budget(std::move(budget))
    , m_bytes(bytes)
{
}

MemoryBudget::Hold::~Hold()
{
    m_budget->release(m_bytes);
}

MemoryBudget::HoldPointer MemoryBudget::hold(qint64 bytes)
{
    charge(bytes);
    return std::make_shared<const Hold>(shared_from_this(), bytes);
}

void MemoryBudget::release(qint64 bytes)
{
    if (bytes <= 0)
        return;
    m_used.fetch_sub(bytes);
    std::lock_guard lock(m_mutex);
    if (m_onRelease)
        m_onRelease();
}

void MemoryBudget::setOnRelease(std::function<void()> callback)
{
    std::lock_guard lock(m_mutex);
    m_onRelease = std::move(callback);
}
