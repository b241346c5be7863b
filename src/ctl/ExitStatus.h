#pragma once

#include "ChairControl.h"

#include <QString>

// What a script learns from velnora-ctl's exit status.
namespace ExitStatus {

inline constexpr int success = 0;
inline constexpr int failure = 1;
inline constexpr int usage = 2;
inline constexpr int noChair = 3; // none connected, none found, or Bluetooth off

// The one place where the chair interface's error names become exit statuses.
inline int forError(const QString& name)
{
    if (name == ControlErrors::notConnected || name == ControlErrors::notFound ||
        name == ControlErrors::bluetoothOff)
        return noChair;
    if (name == ControlErrors::invalidArgument)
        return usage;
    return failure;
}

} // namespace ExitStatus
