#include "CtlOutput.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QMetaType>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace Out {

namespace {

FILE* results = stdout;
bool resultsAreTerminal = false;

QVariant plainArgument(const QDBusArgument& argument)
{
    switch (argument.currentType()) {
    case QDBusArgument::MapType: {
        QVariantMap map;
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            const QVariant key = plain(argument.asVariant());
            const QVariant value = plain(argument.asVariant());
            map.insert(key.toString(), value);
            argument.endMapEntry();
        }
        argument.endMap();
        return map;
    }
    case QDBusArgument::ArrayType: {
        QVariantList list;
        argument.beginArray();
        while (!argument.atEnd())
            list << plain(argument.asVariant());
        argument.endArray();
        return list;
    }
    case QDBusArgument::StructureType: {
        QVariantList fields;
        argument.beginStructure();
        while (!argument.atEnd())
            fields << plain(argument.asVariant());
        argument.endStructure();
        return fields;
    }
    default: return plain(argument.asVariant());
    }
}

QString number(double value)
{
    return QLocale::c().toString(value, 'g', 12);
}

} // namespace

void init(bool verbose)
{
    // Results keep the real standard output; descriptor 1 now takes the link's lines.
    resultsAreTerminal = isatty(STDOUT_FILENO) == 1;
    const int saved = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved < 0)
        return;
    FILE* file = fdopen(saved, "w");
    if (!file) {
        close(saved);
        return;
    }
    std::fflush(stdout);
    const int sink = verbose ? dup(STDERR_FILENO) : open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (sink < 0 || dup2(sink, STDOUT_FILENO) < 0) {
        std::fclose(file);
        if (sink >= 0)
            close(sink);
        return;
    }
    close(sink);
    results = file;
}

bool isTerminal()
{
    return resultsAreTerminal;
}

void line(const QString& text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), results);
    std::fflush(results);
}

void partial(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), results);
    std::fflush(results);
}

void error(const QString& text)
{
    const QByteArray bytes = QStringLiteral("velnora-ctl: %1\n").arg(text).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

QVariant plain(const QVariant& value)
{
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<QDBusVariant>())
        return plain(value.value<QDBusVariant>().variant());
    if (type == QMetaType::fromType<QDBusArgument>())
        return plainArgument(value.value<QDBusArgument>());
    if (type == QMetaType::fromType<QVariantMap>())
        return plainMap(value.toMap());
    if (type == QMetaType::fromType<QStringList>())
        return value;
    if (type == QMetaType::fromType<QList<QVariantMap>>()) {
        QVariantList list;
        for (const QVariantMap& map : value.value<QList<QVariantMap>>())
            list << plainMap(map);
        return list;
    }
    if (type == QMetaType::fromType<QVariantList>()) {
        QVariantList list;
        for (const QVariant& item : value.toList())
            list << plain(item);
        return list;
    }
    return value;
}

QVariantMap plainMap(const QVariantMap& map)
{
    QVariantMap result;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        result.insert(it.key(), plain(it.value()));
    return result;
}

QJsonObject json(const QVariantMap& properties)
{
    return QJsonObject::fromVariantMap(plainMap(properties));
}

QString jsonLine(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString text(const QVariant& value)
{
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<bool>())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (type == QMetaType::fromType<double>())
        return number(value.toDouble());
    if (type == QMetaType::fromType<QStringList>())
        return value.toStringList().join(QStringLiteral(", "));
    if (type == QMetaType::fromType<QVariantList>()) {
        QStringList items;
        for (const QVariant& item : value.toList()) {
            if (item.metaType() == QMetaType::fromType<QVariantMap>()) {
                const QVariantMap chair = item.toMap();
                items << QStringLiteral("%1 (%2, %3 dBm)")
                             .arg(chair.value(QStringLiteral("Name")).toString(),
                                  chair.value(QStringLiteral("Address")).toString(),
                                  chair.value(QStringLiteral("Rssi")).toString());
            } else {
                items << text(item);
            }
        }
        return items.join(QStringLiteral(", "));
    }
    return value.toString();
}

const QStringList& propertyOrder()
{
    static const QStringList order = {
        QStringLiteral("ConnectionState"),  QStringLiteral("DeviceName"),
        QStringLiteral("SerialNumber"),     QStringLiteral("SoftwareVersion"),
        QStringLiteral("FirmwareVersion"),  QStringLiteral("LeftLegUp"),
        QStringLiteral("RightLegUp"),       QStringLiteral("AutoMode"),
        QStringLiteral("Pattern"),          QStringLiteral("PeriodMinutes"),
        QStringLiteral("CountdownSeconds"), QStringLiteral("MotorStrength"),
        QStringLiteral("SessionMoves"),     QStringLiteral("LifetimeMoves"),
        QStringLiteral("Asleep"),           QStringLiteral("WifiStatus"),
        QStringLiteral("WifiNetwork"),      QStringLiteral("Networks"),
        QStringLiteral("NetworksLoading"),  QStringLiteral("WifiError"),
        QStringLiteral("Chairs"),           QStringLiteral("UpdateState"),
        QStringLiteral("UpdateProcessor"),  QStringLiteral("UpdateProgress"),
        QStringLiteral("UpdatePage"),       QStringLiteral("UpdateTotalPages"),
        QStringLiteral("UpdateMessage"),
    };
    return order;
}

} // namespace Out
