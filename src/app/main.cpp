#include "AppServices.h"
#include "BluetoothManager.h"
#include "QtBleCentral.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QtQml>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("Velnora"));
    QGuiApplication::setApplicationName(QStringLiteral("VelnoraDesktop"));
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    qmlRegisterUncreatableMetaObject(Link::staticMetaObject, "Velnora", 1, 0, "Link",
                                     QStringLiteral("Link holds enumerations only"));
    qmlRegisterUncreatableMetaObject(Wifi::staticMetaObject, "Velnora", 1, 0, "Wifi",
                                     QStringLiteral("Wifi holds enumerations only"));

    AppServices services;
    BluetoothManager& manager = services.createManager(std::make_unique<QtBleCentral>());

    QQmlApplicationEngine engine;
    engine.setInitialProperties({{QStringLiteral("manager"), QVariant::fromValue(&manager)}});
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app,
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/velnora/FirstWindow.qml")));
    return QGuiApplication::exec();
}
