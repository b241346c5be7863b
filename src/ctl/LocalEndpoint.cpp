#include "LocalEndpoint.h"

#include "BluetoothManager.h"
#include "CtlOutput.h"
#include "QtBleCentral.h"

#include <QTimer>

LocalEndpoint::LocalEndpoint(QObject* parent)
    : ChairEndpoint(parent)
    , manager(services.makeManager(std::make_unique<QtBleCentral>()))
    , control(std::make_unique<ChairControl>(*manager))
{
    connect(control.get(), &ChairControl::propertiesChanged, this,
            [this](const QVariantMap& changed) { Q_EMIT this->changed(Out::plainMap(changed)); });
}

LocalEndpoint::~LocalEndpoint() = default;

void LocalEndpoint::open(const ControlReply& opened)
{
    opened(std::nullopt);
}

QVariantMap LocalEndpoint::properties() const
{
    return Out::plainMap(control->properties());
}

void LocalEndpoint::call(const QString& method, const QVariantList& arguments,
                         const ControlReply& reply)
{
    // The control may answer from inside the link's own signal (a Connect answered as the state
    // changes): the next step must not run inside the link, so the answer waits a turn.
    control->call(method, arguments, [this, reply](const ControlOutcome& outcome) {
        QTimer::singleShot(0, this, [reply, outcome] { reply(outcome); });
    });
}
