#include "ChairBus.h"

#include "ChairControl.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>

namespace {

const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString introspectableInterface = QStringLiteral("org.freedesktop.DBus.Introspectable");
const QString applicationInterface = QStringLiteral("org.freedesktop.Application");
const QString unknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
const QString invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

const char* standardXml = R"(  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg name="xml" type="s" direction="out"/></method>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get"><arg name="interface" type="s" direction="in"/><arg name="name" type="s" direction="in"/><arg name="value" type="v" direction="out"/></method>
    <method name="GetAll"><arg name="interface" type="s" direction="in"/><arg name="values" type="a{sv}" direction="out"/></method>
    <method name="Set"><arg name="interface" type="s" direction="in"/><arg name="name" type="s" direction="in"/><arg name="value" type="v" direction="in"/></method>
    <signal name="PropertiesChanged"><arg name="interface" type="s"/><arg name="changed" type="a{sv}"/><arg name="invalidated" type="as"/></signal>
  </interface>
)";

const char* applicationXml = R"(  <interface name="org.freedesktop.Application">
    <method name="Activate"><arg name="platform_data" type="a{sv}" direction="in"/></method>
  </interface>
)";

} // namespace

ChairBus::ChairBus(ChairControl& control, const QDBusConnection& bus,
                   std::function<void()> activate, QObject* parent)
    : QDBusVirtualObject(parent)
    , control(control)
    , bus(bus)
    , activate(std::move(activate))
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    QObject::connect(&control, &ChairControl::propertiesChanged, this, &ChairBus::announce);
}

ChairBus::~ChairBus()
{
    if (!published)
        return;
    bus.unregisterService(serviceName);
    bus.unregisterObject(root, QDBusConnection::UnregisterTree);
}

bool ChairBus::publish()
{
    if (published)
        return true;
    if (!bus.registerVirtualObject(root, this, QDBusConnection::SubPath))
        return false;
    if (!bus.registerService(serviceName)) {
        bus.unregisterObject(root, QDBusConnection::UnregisterTree);
        return false;
    }
    published = true;
    return true;
}

bool ChairBus::activateRunning(const QDBusConnection& bus)
{
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(serviceName))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(serviceName, appPath, applicationInterface,
                                                       QStringLiteral("Activate"));
    call << QVariantMap();
    return bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

QString ChairBus::introspect(const QString& path) const
{
    if (path == appPath)
        return QLatin1String(standardXml) + QLatin1String(applicationXml);
    if (path != chairPath)
        return {};
    QString xml = QLatin1String(standardXml);
    xml += QStringLiteral("  <interface name=\"%1\">\n").arg(ChairControl::interfaceName);
    for (const ControlMethod& method : ChairControl::methods()) {
        xml += QStringLiteral("    <method name=\"%1\">").arg(method.name);
        for (int i = 0; i < method.arguments.size(); ++i)
            xml += QStringLiteral("<arg name=\"%1\" type=\"%2\" direction=\"in\"/>")
                       .arg(method.arguments.at(i), method.signature.at(i));
        xml += QLatin1String("</method>\n");
    }
    const QVariantMap properties = control.properties();
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        xml += QStringLiteral("    <property name=\"%1\" type=\"%2\" access=\"read\"/>\n")
                   .arg(it.key(),
                        QLatin1String(QDBusMetaType::typeToSignature(it.value().metaType())));
    xml += QLatin1String("  </interface>\n");
    return xml;
}

bool ChairBus::handleMessage(const QDBusMessage& message, const QDBusConnection&)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString path = message.path();
    const QString interface = message.interface();
    if (path == root && interface == introspectableInterface) {
        bus.send(message.createReply(QStringLiteral(
            "<node>\n  <node name=\"Chair\"/>\n  <node name=\"VelnoraDesktop\"/>\n</node>\n")));
        return true;
    }
    if (path != chairPath && path != appPath) {
        bus.send(
            message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
                                     QStringLiteral("No object at %1").arg(path)));
        return true;
    }
    if (interface == introspectableInterface) {
        bus.send(message.createReply(
            QStringLiteral(
                "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n%1</"
                "node>\n")
                .arg(introspect(path))));
        return true;
    }
    if (path == appPath) {
        if ((interface.isEmpty() || interface == applicationInterface) &&
            message.member() == QLatin1String("Activate")) {
            if (activate)
                activate();
            bus.send(message.createReply());
        } else {
            bus.send(message.createErrorReply(
                unknownMethod, QStringLiteral("No method %1").arg(message.member())));
        }
        return true;
    }
    if (interface == propertiesInterface)
        handleProperties(message);
    else
        handleChairCall(message);
    return true;
}

void ChairBus::handleChairCall(const QDBusMessage& call)
{
    const ControlMethod* method = ChairControl::method(call.member());
    if (!method ||
        (!call.interface().isEmpty() && call.interface() != ChairControl::interfaceName)) {
        bus.send(call.createErrorReply(
            unknownMethod, QStringLiteral("No method %1.%2").arg(call.interface(), call.member())));
        return;
    }
    if (call.signature() != method->signature) {
        bus.send(call.createErrorReply(
            invalidArgs, QStringLiteral("%1 takes (%2), not (%3)")
                             .arg(method->name, method->signature, call.signature())));
        return;
    }
    QDBusConnection connection = bus;
    control.call(method->name, call.arguments(), [call, connection](const ControlOutcome& outcome) {
        QDBusConnection(connection)
            .send(outcome ? call.createErrorReply(outcome->name, outcome->message)
                          : call.createReply());
    });
}

void ChairBus::handleProperties(const QDBusMessage& call)
{
    const QVariantList args = call.arguments();
    const QString member = call.member();
    if (!args.isEmpty() && args.at(0).toString() != ChairControl::interfaceName) {
        bus.send(call.createErrorReply(
            invalidArgs, QStringLiteral("No interface %1").arg(args.at(0).toString())));
        return;
    }
    const QVariantMap properties = control.properties();
    if (member == QLatin1String("GetAll") && call.signature() == QLatin1String("s")) {
        bus.send(call.createReply(properties));
        return;
    }
    if (member == QLatin1String("Get") && call.signature() == QLatin1String("ss")) {
        const QString name = args.at(1).toString();
        if (!properties.contains(name)) {
            bus.send(
                call.createErrorReply(invalidArgs, QStringLiteral("No property %1").arg(name)));
            return;
        }
        bus.send(call.createReply(QVariant::fromValue(QDBusVariant(properties.value(name)))));
        return;
    }
    if (member == QLatin1String("Set") && call.signature() == QLatin1String("ssv")) {
        bus.send(call.createErrorReply(
            QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"),
            QStringLiteral("The chair's properties change through its methods.")));
        return;
    }
    bus.send(call.createErrorReply(unknownMethod, QStringLiteral("No method %1").arg(member)));
}

void ChairBus::announce(const QVariantMap& changed)
{
    if (!published)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(chairPath, propertiesInterface,
                                                     QStringLiteral("PropertiesChanged"));
    signal << ChairControl::interfaceName << changed << QStringList();
    bus.send(signal);
}
