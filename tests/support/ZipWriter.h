#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

// Writes an update package as a chair vendor would: one zip entry per (name, bytes).
using ZipEntries = QList<std::pair<QByteArray, QByteArray>>;
bool writeZip(const QString& path, const ZipEntries& entries);

// Bytes that differ from one position and one image to the next, so a misplaced chunk shows.
QByteArray firmwareImage(qsizetype size, int salt);
