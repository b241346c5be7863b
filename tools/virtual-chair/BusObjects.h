#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QMap>
#include <QVariantMap>

#include <functional>

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;
using ManufacturerData = QMap<quint16, QDBusVariant>;

// The object tree that BlueZ publishes: every object with its interfaces and properties, the
// ObjectManager at "/", Properties and Introspectable on every object, and the signals that
// tell clients of changes. Calls on any other interface go to the handler registered for it.
class BusObjects : public QDBusVirtualObject {
    Q_OBJECT
public:
    // Handlers answer the call themselves, now or later, through reply()/replyError().
    using MethodHandler = std::function<void(const QDBusMessage& call)>;
    // Returns an empty error name when the property was taken.
    struct SetError {
        QString name;
        QString message;
    };
    using SetHandler = std::function<SetError(const QString& path, const QString& interface,
                                              const QString& property, const QVariant& value)>;

    explicit BusObjects(const QDBusConnection& bus, QObject* parent = nullptr);

    static void registerTypes();
    QDBusConnection connection() const { return bus; }

    void add(const QString& path, const InterfaceMap& interfaces);
    void remove(const QString& path);
    bool contains(const QString& path) const { return objects.contains(path); }
    QVariant property(const QString& path, const QString& interface, const QString& name) const;
    // Stores the values and announces those that changed; with force, announces all of them.
    void setProperties(const QString& path, const QString& interface, const QVariantMap& values,
                       bool force = false);
    void setPropertyQuietly(const QString& path, const QString& interface, const QString& name,
                            const QVariant& value);

    void setMethodHandler(const QString& interface, MethodHandler handler);
    void setSetHandler(SetHandler handler) { setHandler = std::move(handler); }
    // An object outside the ObjectManager tree, answering one interface.
    void addUnmanaged(const QString& path, const QString& interface, const QString& xml);
    // Introspection data of the methods and signals of an interface of the tree.
    void describeInterface(const QString& interface, const QString& xml);

    void reply(const QDBusMessage& call, const QVariantList& arguments = {});
    void replyError(const QDBusMessage& call, const QString& name, const QString& message);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    void handleProperties(const QDBusMessage& call);
    void handleIntrospect(const QDBusMessage& call);
    QString interfaceXml(const QString& interface, const QVariantMap* properties) const;
    QStringList childNodes(const QString& path) const;

    QDBusConnection bus;
    QMap<QString, InterfaceMap> objects;
    QMap<QString, MethodHandler> handlers;
    QMap<QString, QString> interfaceDescriptions;
    QMap<QString, QString> unmanaged; // path -> interface
    SetHandler setHandler;
};
