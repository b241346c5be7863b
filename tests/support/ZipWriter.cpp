#include "ZipWriter.h"

#include <QFile>

#include <zip.h>

static bool addEntry(zip_t* archive, const ZipEntry& entry)
{
    if (entry.name.endsWith('/'))
        return zip_dir_add(archive, entry.name.constData(), 0) >= 0;
    zip_source_t* data =
        zip_source_buffer(archive, entry.data.constData(), zip_uint64_t(entry.data.size()), 0);
    const zip_int64_t index = zip_file_add(archive, entry.name.constData(), data, ZIP_FL_OVERWRITE);
    if (index < 0)
        zip_source_free(data);
    const zip_int32_t method =
        entry.compression == Compression::stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    return index >= 0 && (entry.compression == Compression::best ||
                          zip_set_file_compression(archive, zip_uint64_t(index), method, 0) == 0);
}

QByteArray zipBytes(const ZipEntries& entries)
{
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, nullptr);
    zip_t* archive = buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, nullptr) : nullptr;
    if (!archive) {
        zip_source_free(buffer);
        return {};
    }
    zip_source_keep(buffer); // the bytes outlive the archive
    bool isComplete = true;
    for (const ZipEntry& entry : entries)
        isComplete = isComplete && addEntry(archive, entry);
    QByteArray bytes;
    zip_stat_t stat;
    if (!isComplete || zip_close(archive) != 0)
        zip_discard(archive);
    else if (zip_source_stat(buffer, &stat) == 0 && zip_source_open(buffer) == 0) {
        bytes.resize(qsizetype(stat.size));
        if (zip_source_read(buffer, bytes.data(), stat.size) != zip_int64_t(stat.size))
            bytes.clear();
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    return bytes;
}

bool writeZip(const QString& path, const ZipEntries& entries)
{
    const QByteArray zip = zipBytes(entries);
    QFile file(path);
    return !zip.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(zip) == zip.size();
}

QByteArray firmwareImage(qsizetype size, int salt)
{
    QByteArray out(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char((i * 31 + i / 7 + salt) & 0xFF);
    return out;
}
