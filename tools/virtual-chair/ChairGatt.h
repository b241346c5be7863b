#pragma once

#include <QBluetoothUuid>
#include <QList>
#include <QStringList>

// The chair's GATT table as the chair itself publishes it: services, characteristics and what
// each characteristic allows.
namespace ChairGatt {

enum Flag : unsigned { Read = 1, Write = 2, Notify = 4 };

struct Characteristic {
    QBluetoothUuid uuid;
    const char* name;
    unsigned flags;
};

struct Service {
    QBluetoothUuid uuid;
    const char* name;
    QList<Characteristic> characteristics;
};

const QList<Service>& services();
// The characteristic with this UUID, or nullptr when the chair has none.
const Characteristic* find(const QBluetoothUuid& uuid);
// Short name for log lines; the UUID text for anything outside the table.
QString nameOf(const QBluetoothUuid& uuid);
// BlueZ's flag words ("read", "write", "notify").
QStringList flagWords(unsigned flags);

inline const QBluetoothUuid cccdUUID{quint16(0x2902)};

} // namespace ChairGatt
