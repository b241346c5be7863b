#pragma once

#include <QVariant>

#include <optional>
#include <utility>

// Stores a new value of an observable field and announces it; an unchanged value is silent.
template <typename Owner, typename Field, typename Value>
void assignObservable(Owner* owner, Field& field, Value&& value, void (Owner::*changed)())
{
    if (field == value)
        return;
    field = std::forward<Value>(value);
    (owner->*changed)();
}

// QML sees "no value" as undefined.
template <typename T> QVariant optionalToVariant(const std::optional<T>& value)
{
    return value ? QVariant::fromValue(*value) : QVariant();
}
