#include "BusObjects.h"

#include <QDBusMetaType>
#include <QDBusVariant>

namespace {

const QString objectManagerInterface = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString introspectableInterface = QStringLiteral("org.freedesktop.DBus.Introspectable");
const QString invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

const char* standardXml = R"(  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg name="xml" type="s" direction="out"/></method>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get">
      <arg name="interface" type="s" direction="in"/><arg name="name" type="s" direction="in"/>
      <arg name="value" type="v" direction="out"/>
    </method>
    <method name="Set">
      <arg name="interface" type="s" direction="in"/><arg name="name" type="s" direction="in"/>
      <arg name="value" type="v" direction="in"/>
    </method>
    <method name="GetAll">
      <arg name="interface" type="s" direction="in"/>
      <arg name="properties" type="a{sv}" direction="out"/>
    </method>
    <signal name="PropertiesChanged">
      <arg name="interface" type="s"/><arg name="changed_properties" type="a{sv}"/>
      <arg name="invalidated_properties" type="as"/>
    </signal>
  </interface>
)";

const char* objectManagerXml = R"(  <interface name="org.freedesktop.DBus.ObjectManager">
    <method name="GetManagedObjects">
      <arg name="objects" type="a{oa{sa{sv}}}" direction="out"/>
    </method>
    <signal name="InterfacesAdded">
      <arg name="object" type="o"/><arg name="interfaces" type="a{sa{sv}}"/>
    </signal>
    <signal name="InterfacesRemoved">
      <arg name="object" type="o"/><arg name="interfaces" type="as"/>
    </signal>
  </interface>
)";

// BlueZ lists the two standard interfaces with every object it manages.
InterfaceMap withStandardInterfaces(InterfaceMap interfaces)
{
    interfaces.insert(introspectableInterface, {});
    interfaces.insert(propertiesInterface, {});
    return interfaces;
}

} // namespace

BusObjects::BusObjects(const QDBusConnection& bus, QObject* parent)
    : QDBusVirtualObject(parent)
    , bus(bus)
{
}

void BusObjects::registerTypes()
{
    qDBusRegisterMetaType<InterfaceMap>();
    qDBusRegisterMetaType<ManagedObjects>();
    qDBusRegisterMetaType<ManufacturerData>();
    qDBusRegisterMetaType<QList<QDBusObjectPath>>();
}

void BusObjects::add(const QString& path, const InterfaceMap& interfaces)
{
    objects.insert(path, interfaces);
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/"), objectManagerInterface,
                                                     QStringLiteral("InterfacesAdded"));
    signal << QVariant::fromValue(QDBusObjectPath(path))
           << QVariant::fromValue(withStandardInterfaces(interfaces));
    bus.send(signal);
}

void BusObjects::remove(const QString& path)
{
    const auto it = objects.constFind(path);
    if (it == objects.cend())
        return;
    const QStringList names = withStandardInterfaces(it.value()).keys();
    objects.erase(it);
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/"), objectManagerInterface,
                                                     QStringLiteral("InterfacesRemoved"));
    signal << QVariant::fromValue(QDBusObjectPath(path)) << names;
    bus.send(signal);
}

QVariant BusObjects::property(const QString& path, const QString& interface,
                              const QString& name) const
{
    return objects.value(path).value(interface).value(name);
}

void BusObjects::setProperties(const QString& path, const QString& interface,
                               const QVariantMap& values, bool force)
{
    const auto object = objects.find(path);
    if (object == objects.end() || !object->contains(interface))
        return;
    QVariantMap& stored = (*object)[interface];
    QVariantMap changed;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (force || stored.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
        stored.insert(it.key(), it.value());
    }
    if (changed.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(path, propertiesInterface, QStringLiteral("PropertiesChanged"));
    signal << interface << changed << QStringList();
    bus.send(signal);
}

void BusObjects::setPropertyQuietly(const QString& path, const QString& interface,
                                    const QString& name, const QVariant& value)
{
    const auto object = objects.find(path);
    if (object != objects.end() && object->contains(interface))
        (*object)[interface].insert(name, value);
}

void BusObjects::setMethodHandler(const QString& interface, MethodHandler handler)
{
    handlers.insert(interface, std::move(handler));
}

void BusObjects::addUnmanaged(const QString& path, const QString& interface, const QString& xml)
{
    unmanaged.insert(path, interface);
    interfaceDescriptions.insert(interface, xml);
}

void BusObjects::describeInterface(const QString& interface, const QString& xml)
{
    interfaceDescriptions.insert(interface, xml);
}

void BusObjects::reply(const QDBusMessage& call, const QVariantList& arguments)
{
    bus.send(call.createReply(arguments));
}

void BusObjects::replyError(const QDBusMessage& call, const QString& name, const QString& message)
{
    bus.send(call.createErrorReply(name, message));
}

bool BusObjects::handleMessage(const QDBusMessage& message, const QDBusConnection&)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString& path = message.path();
    const QString& interface = message.interface();
    if (interface == introspectableInterface) {
        handleIntrospect(message);
        return true;
    }
    if (interface == propertiesInterface) {
        handleProperties(message);
        return true;
    }
    if (interface == objectManagerInterface) {
        if (path != QLatin1String("/") || message.member() != QLatin1String("GetManagedObjects")) {
            replyError(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                       QStringLiteral("No such method"));
            return true;
        }
        ManagedObjects managed;
        for (auto it = objects.cbegin(); it != objects.cend(); ++it)
            managed.insert(QDBusObjectPath(it.key()), withStandardInterfaces(it.value()));
        reply(message, {QVariant::fromValue(managed)});
        return true;
    }
    const bool known =
        objects.value(path).contains(interface) || unmanaged.value(path) == interface;
    const auto handler = handlers.constFind(interface);
    if (!known || handler == handlers.cend()) {
        const bool pathExists = objects.contains(path) || unmanaged.contains(path);
        replyError(message,
                   pathExists ? QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod")
                              : QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
                   pathExists ? QStringLiteral("No method %1.%2").arg(interface, message.member())
                              : QStringLiteral("No object at %1").arg(path));
        return true;
    }
    (*handler)(message);
    return true;
}

void BusObjects::handleProperties(const QDBusMessage& call)
{
    const QString& path = call.path();
    const QVariantList args = call.arguments();
    const auto object = objects.constFind(path);
    if (object == objects.cend()) {
        replyError(call, QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
                   QStringLiteral("No object at %1").arg(path));
        return;
    }
    const QString member = call.member();
    const QString interface = args.value(0).toString();
    const bool standard = interface == propertiesInterface || interface == introspectableInterface;
    if (!standard && !object->contains(interface) && !args.isEmpty()) {
        replyError(call, invalidArgs, QStringLiteral("No such interface '%1'").arg(interface));
        return;
    }
    const QVariantMap properties = object->value(interface);
    if (member == QLatin1String("GetAll") && call.signature() == QLatin1String("s")) {
        reply(call, {properties});
        return;
    }
    if (member == QLatin1String("Get") && call.signature() == QLatin1String("ss")) {
        const QString name = args.at(1).toString();
        if (!properties.contains(name)) {
            replyError(call, invalidArgs, QStringLiteral("No such property '%1'").arg(name));
            return;
        }
        reply(call, {QVariant::fromValue(QDBusVariant(properties.value(name)))});
        return;
    }
    if (member == QLatin1String("Set") && call.signature() == QLatin1String("ssv")) {
        const QString name = args.at(1).toString();
        if (!properties.contains(name)) {
            replyError(call, invalidArgs, QStringLiteral("No such property '%1'").arg(name));
            return;
        }
        const QVariant value = qvariant_cast<QDBusVariant>(args.at(2)).variant();
        const SetError error =
            setHandler ? setHandler(path, interface, name, value)
                       : SetError{QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"),
                                  QStringLiteral("Property '%1' is read-only").arg(name)};
        if (error.name.isEmpty())
            reply(call);
        else
            replyError(call, error.name, error.message);
        return;
    }
    replyError(call, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
               QStringLiteral("No method %1 with signature '%2'").arg(member, call.signature()));
}

QString BusObjects::interfaceXml(const QString& interface, const QVariantMap* properties) const
{
    QString xml = interfaceDescriptions.value(interface);
    if (xml.isEmpty())
        xml = QStringLiteral("  <interface name=\"%1\">\n  </interface>\n").arg(interface);
    if (!properties || properties->isEmpty())
        return xml;
    QString props;
    for (auto it = properties->cbegin(); it != properties->cend(); ++it) {
        const char* signature = QDBusMetaType::typeToSignature(it.value().metaType());
        props += QStringLiteral("    <property name=\"%1\" type=\"%2\" access=\"read\"/>\n")
                     .arg(it.key(), QLatin1String(signature ? signature : "v"));
    }
    const qsizetype end = xml.lastIndexOf(QLatin1String("  </interface>"));
    return end < 0 ? xml : xml.insert(end, props);
}

QStringList BusObjects::childNodes(const QString& path) const
{
    const QString prefix = path == QLatin1String("/") ? path : path + QLatin1Char('/');
    QStringList children;
    auto consider = [&](const QString& candidate) {
        if (!candidate.startsWith(prefix) || candidate.size() == prefix.size())
            return;
        const QString child = candidate.mid(prefix.size()).section(QLatin1Char('/'), 0, 0);
        if (!children.contains(child))
            children << child;
    };
    for (auto it = objects.cbegin(); it != objects.cend(); ++it)
        consider(it.key());
    for (auto it = unmanaged.cbegin(); it != unmanaged.cend(); ++it)
        consider(it.key());
    return children;
}

QString BusObjects::introspect(const QString& path) const
{
    QString xml;
    if (path == QLatin1String("/"))
        xml += QLatin1String(objectManagerXml);
    if (objects.contains(path) || unmanaged.contains(path))
        xml += QLatin1String(standardXml);
    const InterfaceMap interfaces = objects.value(path);
    for (auto it = interfaces.cbegin(); it != interfaces.cend(); ++it)
        xml += interfaceXml(it.key(), &it.value());
    if (unmanaged.contains(path))
        xml += interfaceXml(unmanaged.value(path), nullptr);
    return xml;
}

void BusObjects::handleIntrospect(const QDBusMessage& call)
{
    const QString& path = call.path();
    const QStringList children = childNodes(path);
    if (path != QLatin1String("/") && children.isEmpty() && !objects.contains(path) &&
        !unmanaged.contains(path)) {
        replyError(call, QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
                   QStringLiteral("No object at %1").arg(path));
        return;
    }
    QString xml = QStringLiteral(
        "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n");
    xml += introspect(path);
    for (const QString& child : children)
        xml += QStringLiteral("  <node name=\"%1\"/>\n").arg(child);
    xml += QLatin1String("</node>\n");
    reply(call, {xml});
}
