#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

// What velnora-ctl prints: results on standard output, errors on standard error. The link core
// prints its diagnostic lines on standard output too; they are kept out of the results.
namespace Out {

// Call first: moves the link's diagnostic lines to standard error (verbose) or nowhere.
void init(bool verbose);
bool isTerminal(); // standard output is a terminal

void line(const QString& text);
void partial(const QString& text); // no newline: a redrawn progress line
void error(const QString& text);   // "velnora-ctl: text"

// D-Bus and Qt containers as plain maps, lists and scalars, so both paths give equal values.
QVariant plain(const QVariant& value);
QVariantMap plainMap(const QVariantMap& map);

QJsonObject json(const QVariantMap& properties);
QString jsonLine(const QJsonObject& object);
// A value for a reader: lists joined, chairs as "name (address, rssi dBm)".
QString text(const QVariant& value);

// The properties in the order the status lists them.
const QStringList& propertyOrder();

} // namespace Out
