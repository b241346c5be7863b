#include "ChairControl.h"

#include "BusObjects.h"
#include "ChairGatt.h"
#include "VirtualBluez.h"

#include <QDBusArgument>

#include <cmath>

namespace {

const char* controlXml = R"(  <interface name="app.velnora.VirtualChair1">
    <method name="DropLink"><arg name="address" type="s" direction="in"/></method>
    <method name="RefuseConnects">
      <arg name="address" type="s" direction="in"/><arg name="count" type="i" direction="in"/>
      <arg name="errorName" type="s" direction="in"/><arg name="errorMessage" type="s" direction="in"/>
    </method>
    <method name="FailWrites">
      <arg name="address" type="s" direction="in"/>
      <arg name="characteristicUuid" type="s" direction="in"/><arg name="count" type="i" direction="in"/>
    </method>
    <method name="SetWriteDelay"><arg name="milliseconds" type="d" direction="in"/></method>
    <method name="SetConnectionInterval">
      <arg name="milliseconds" type="d" direction="in"/>
    </method>
    <method name="SetPowered"><arg name="on" type="b" direction="in"/></method>
    <method name="SetRssi">
      <arg name="address" type="s" direction="in"/><arg name="rssi" type="n" direction="in"/>
    </method>
    <method name="AddDevice">
      <arg name="address" type="s" direction="in"/><arg name="name" type="s" direction="in"/>
      <arg name="rssi" type="n" direction="in"/>
    </method>
    <method name="AddChair">
      <arg name="address" type="s" direction="in"/><arg name="firstName" type="s" direction="in"/>
      <arg name="laterName" type="s" direction="in"/><arg name="renameAfterMs" type="i" direction="in"/>
    </method>
    <method name="SetWifiOnline">
      <arg name="address" type="s" direction="in"/><arg name="online" type="b" direction="in"/>
    </method>
    <method name="PressLeg">
      <arg name="address" type="s" direction="in"/><arg name="leg" type="y" direction="in"/>
    </method>
    <method name="Sleep"><arg name="address" type="s" direction="in"/></method>
    <method name="State">
      <arg name="address" type="s" direction="in"/><arg name="state" type="a{sv}" direction="out"/>
    </method>
  </interface>
)";

QString errorName(const char* name)
{
    return QStringLiteral("app.velnora.VirtualChair1.Error.") + QLatin1String(name);
}

struct Method {
    const char* name;
    const char* signature;
};

constexpr Method methods[] = {
    {"DropLink", "s"},
    {"RefuseConnects", "siss"},
    {"FailWrites", "ssi"},
    {"SetWriteDelay", "d"},
    {"SetConnectionInterval", "d"},
    {"SetPowered", "b"},
    {"SetRssi", "sn"},
    {"AddDevice", "ssn"},
    {"AddChair", "sssi"},
    {"SetWifiOnline", "sb"},
    {"PressLeg", "sy"},
    {"Sleep", "s"},
    {"State", "s"},
};

constexpr qint16 addedChairRssi = -62;

} // namespace

ChairControl::ChairControl(BusObjects& objects, VirtualBluez& bluez, QObject* parent)
    : QObject(parent)
    , objects(objects)
    , bluez(bluez)
{
    objects.addUnmanaged(path, interface, QLatin1String(controlXml));
    objects.setMethodHandler(interface, [this](const QDBusMessage& call) { handle(call); });
}

void ChairControl::handle(const QDBusMessage& call)
{
    const QString member = call.member();
    const QVariantList args = call.arguments();
    const Method* method = nullptr;
    for (const Method& m : methods) {
        if (member == QLatin1String(m.name))
            method = &m;
    }
    if (!method) {
        objects.replyError(call, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                           QStringLiteral("No method %1").arg(member));
        return;
    }
    if (call.signature() != QLatin1String(method->signature)) {
        objects.replyError(call, errorName("InvalidArguments"),
                           QStringLiteral("%1 takes (%2), not (%3)")
                               .arg(member, QLatin1String(method->signature), call.signature()));
        return;
    }
    QStringList shown;
    for (const QVariant& arg : args) {
        // A byte argument would otherwise print as a raw character.
        shown << (arg.metaType() == QMetaType::fromType<uchar>() ? QString::number(arg.toUInt())
                                                                 : arg.toString());
    }
    bluez.log(QStringLiteral("control %1(%2)").arg(member, shown.join(QStringLiteral(", "))));

    const auto invalid = [&](const QString& text) {
        objects.replyError(call, errorName("InvalidArguments"), text);
    };

    // Calls that name no device.
    const bool setsWriteDelay = member == QLatin1String("SetWriteDelay");
    if (setsWriteDelay || member == QLatin1String("SetConnectionInterval")) {
        const double ms = args.at(0).toDouble();
        if (!std::isfinite(ms) || ms < 0)
            return invalid(QStringLiteral("an interval is zero or more milliseconds"));
        if (setsWriteDelay)
            bluez.setWriteDelay(ms);
        else
            bluez.setConnectionInterval(ms);
        return objects.reply(call);
    }
    if (member == QLatin1String("SetPowered")) {
        bluez.setPowered(args.at(0).toBool());
        return objects.reply(call);
    }

    const QString address = args.at(0).toString();
    if (member == QLatin1String("AddDevice") || member == QLatin1String("AddChair")) {
        if (!VirtualBluez::isAddress(address))
            return invalid(QStringLiteral("\"%1\" is not a Bluetooth address").arg(address));
        if (bluez.device(address)) {
            return objects.replyError(call, errorName("AlreadyExists"),
                                      QStringLiteral("%1 exists already").arg(address));
        }
        if (member == QLatin1String("AddDevice")) {
            bluez.addDevice(address, args.at(1).toString(), qint16(args.at(2).toInt()));
        } else {
            const int renameAfter = args.at(3).toInt();
            bluez.addChair(address, args.at(1).toString(), args.at(2).toString(),
                           std::chrono::milliseconds(std::max(0, renameAfter)), addedChairRssi);
        }
        return objects.reply(call);
    }

    VirtualDevice* d = bluez.device(address);
    if (!d) {
        return objects.replyError(call, errorName("UnknownDevice"),
                                  QStringLiteral("No device %1").arg(address));
    }
    if (member == QLatin1String("SetRssi")) {
        bluez.setRssi(*d, qint16(args.at(1).toInt()));
        return objects.reply(call);
    }
    if (member == QLatin1String("RefuseConnects")) {
        const int count = args.at(1).toInt();
        const QString name = args.at(2).toString();
        if (count < 0 || (count > 0 && name.isEmpty()))
            return invalid(QStringLiteral("a count of zero or more and an error name"));
        d->refuseCount = count;
        d->refuseError = name;
        d->refuseMessage = args.at(3).toString();
        return objects.reply(call);
    }
    if (member == QLatin1String("DropLink")) {
        if (!d->isConnected()) {
            return objects.replyError(call, errorName("NotConnected"),
                                      QStringLiteral("%1 has no link").arg(address));
        }
        bluez.dropLink(*d);
        return objects.reply(call);
    }

    ChairModel* chair = d->chair;
    if (!chair) {
        return objects.replyError(call, errorName("NotAChair"),
                                  QStringLiteral("%1 is not a chair").arg(address));
    }
    if (member == QLatin1String("FailWrites")) {
        const QBluetoothUuid uuid(QUuid::fromString(args.at(1).toString()));
        const int count = args.at(2).toInt();
        if (uuid.isNull() || !ChairGatt::find(uuid))
            return invalid(
                QStringLiteral("the chair has no characteristic %1").arg(args.at(1).toString()));
        if (count < 0)
            return invalid(QStringLiteral("a count is zero or more"));
        if (count == 0)
            d->failWrites.remove(uuid);
        else
            d->failWrites.insert(uuid, count);
        return objects.reply(call);
    }
    if (member == QLatin1String("SetWifiOnline")) {
        if (!chair->setWifiOnline(args.at(1).toBool())) {
            return objects.replyError(call, errorName("NotConfigured"),
                                      QStringLiteral("%1 has no network to join").arg(address));
        }
        return objects.reply(call);
    }
    if (member == QLatin1String("PressLeg")) {
        const uint leg = args.at(1).toUInt();
        if (leg > 1)
            return invalid(QStringLiteral("leg 0 is the left one, 1 the right one"));
        chair->pressLeg(leg == 0 ? ChairModel::Leg::Left : ChairModel::Leg::Right);
        return objects.reply(call);
    }
    if (member == QLatin1String("Sleep")) {
        chair->fallAsleep();
        return objects.reply(call);
    }
    // State
    QVariantMap state = chair->state();
    state.insert(QStringLiteral("connected"), d->isConnected());
    state.insert(QStringLiteral("linkRequests"), d->linkRequests);
    objects.reply(call, {state});
}
