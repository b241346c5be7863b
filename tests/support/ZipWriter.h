#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Update packages as a chair vendor writes them.
enum class Compression { best, deflated, stored }; // best: deflated unless that makes it larger
struct ZipEntry {
    QByteArray name; // ends with '/' for a folder
    QByteArray data;
    Compression compression = Compression::best;
};
using ZipEntries = QList<ZipEntry>;

// The archive's bytes; empty when it could not be written.
QByteArray zipBytes(const ZipEntries& entries);
bool writeZip(const QString& path, const ZipEntries& entries);

// Bytes that differ from one position and one image to the next, so a misplaced chunk shows.
QByteArray firmwareImage(qsizetype size, int salt);
