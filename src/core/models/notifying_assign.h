#pragma once

#include <QObject>

/// Stores `value` into `field` and emits `changed` on `object`, only when the value differs:
/// every observable property of the models is set this way.
template<typename Object, typename T, typename Signal>
bool notifyingAssign(Object *object, T &field, const T &value, Signal changed)
{
    if (field == value)
        return false;
    field = value;
    Q_EMIT (object->*changed)();
    return true;
}
