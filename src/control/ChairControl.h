#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <optional>

class BluetoothManager;

// Why a call could not act: a D-Bus error name and a sentence for the user.
struct ControlError {
    QString name;
    QString message;
};
using ControlOutcome = std::optional<ControlError>; // empty: done
using ControlReply = std::function<void(const ControlOutcome&)>;

namespace ControlErrors {
inline const QString notConnected = QStringLiteral("app.velnora.Error.NotConnected");
inline const QString invalidArgument = QStringLiteral("app.velnora.Error.InvalidArgument");
inline const QString busy = QStringLiteral("app.velnora.Error.Busy");
inline const QString notFound = QStringLiteral("app.velnora.Error.NotFound");
inline const QString asleep = QStringLiteral("app.velnora.Error.Asleep");
inline const QString bluetoothOff = QStringLiteral("app.velnora.Error.BluetoothOff");
inline const QString failed = QStringLiteral("app.velnora.Error.Failed");
inline const QString timedOut = QStringLiteral("app.velnora.Error.Timeout");
} // namespace ControlErrors

// One method of the chair interface: its name, D-Bus signature and argument names.
struct ControlMethod {
    QString name;
    QString signature;
    QStringList arguments;
};

// The chair as scripts see it: its state as named values of D-Bus types, and the window's
// actions as named calls with the window's rules. Exported on the session bus by the program,
// and driven directly by velnora-ctl when the program does not run, so both act alike.
class ChairControl : public QObject {
    Q_OBJECT
public:
    static inline const QString interfaceName = QStringLiteral("app.velnora.Chair1");

    explicit ChairControl(BluetoothManager& manager, QObject* parent = nullptr);
    ~ChairControl() override;

    static const QList<ControlMethod>& methods();
    static const ControlMethod* method(const QString& name);

    // Every property with its current value (strings, booleans, numbers, lists).
    QVariantMap properties() const;

    // Runs one method. The reply comes once the chair confirmed (writes), the link is ready
    // (Connect), or at once for what the chair answers through properties later.
    void call(const QString& method, const QVariantList& arguments, const ControlReply& reply);

Q_SIGNALS:
    // The properties whose value changed, once per turn of the event loop.
    void propertiesChanged(const QVariantMap& changed);

private Q_SLOTS:
    void scheduleDiff();

private:
    struct Pending;
    void emitDiff();
    void connectTo(const QString& wanted, const ControlReply& reply);

    BluetoothManager& manager;
    QVariantMap last;
    bool diffScheduled = false;
};
