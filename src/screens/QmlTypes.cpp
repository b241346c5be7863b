#include "QmlTypes.h"

#include "AnalyticsTypes.h"
#include "LinkTypes.h"
#include "WifiStatus.h"

#include <QtQml>

void registerVelnoraTypes()
{
    qmlRegisterUncreatableMetaObject(Link::staticMetaObject, "Velnora", 1, 0, "Link",
                                     QStringLiteral("Link holds enumerations only"));
    qmlRegisterUncreatableMetaObject(Wifi::staticMetaObject, "Velnora", 1, 0, "Wifi",
                                     QStringLiteral("Wifi holds enumerations only"));
    qmlRegisterUncreatableMetaObject(Analytics::staticMetaObject, "Velnora", 1, 0, "Analytics",
                                     QStringLiteral("Analytics holds enumerations only"));
}
