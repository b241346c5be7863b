// Reading chair update packages: which images come out, in what order, and when a package is
// refused. Every archive is read both from its file and from memory; the two must agree.
#include "FirmwarePackage.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <zip.h>

using namespace FirmwarePackage;

namespace {

struct Entry {
    QByteArray name; // ends with '/' for a folder
    QByteArray data;
    zip_int32_t method = ZIP_CM_DEFLATE;
};
using Entries = QList<Entry>;
using Images = QList<QPair<FirmwareTarget, QByteArray>>;

// Compressible, so deflate keeps it deflated, but not a plain repeat.
const QByteArray cpu1 = [] {
    QByteArray bytes;
    for (int i = 0; i < 3000; ++i)
        bytes.append(char((i * 7 + i / 13) & 0xFF));
    return bytes;
}();
const QByteArray cpu2 = QByteArray("ESP32 application image ").repeated(60);
constexpr auto stm32 = FirmwareTarget::cpu1Stm32;
constexpr auto esp32 = FirmwareTarget::cpu2Esp32;

QByteArray zipOf(const Entries& entries)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    zip_error_fini(&error);
    if (!archive)
        return {};
    zip_source_keep(buffer);
    for (const Entry& entry : entries) {
        if (entry.name.endsWith('/')) {
            zip_dir_add(archive, entry.name.constData(), 0);
            continue;
        }
        zip_source_t* data =
            zip_source_buffer(archive, entry.data.constData(), zip_uint64_t(entry.data.size()), 0);
        const zip_int64_t index = zip_file_add(archive, entry.name.constData(), data, 0);
        zip_set_file_compression(archive, zip_uint64_t(index), entry.method, 0);
    }
    zip_close(archive);

    zip_stat_t stat;
    QByteArray bytes;
    if (zip_source_stat(buffer, &stat) == 0 && zip_source_open(buffer) == 0) {
        bytes.resize(qsizetype(stat.size));
        zip_source_read(buffer, bytes.data(), stat.size);
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    return bytes;
}

// Where an entry's data starts, walking the local headers the writer laid one after another.
qsizetype dataOffset(const QByteArray& zip, int entryIndex)
{
    qsizetype header = 0;
    for (;;) {
        const auto* h = reinterpret_cast<const uchar*>(zip.constData() + header);
        const qsizetype data =
            header + 30 + qFromLittleEndian<quint16>(h + 26) + qFromLittleEndian<quint16>(h + 28);
        if (entryIndex-- == 0)
            return data;
        header = data + qFromLittleEndian<quint32>(h + 18);
    }
}

// Makes a one-entry archive lie about its uncompressed size, in both of its headers.
void declareSize(QByteArray& zip, quint32 size)
{
    qToLittleEndian(size, zip.data() + 22);
    const auto* end = reinterpret_cast<const uchar*>(zip.constData() + zip.size() - 22);
    const auto centralEntry = qsizetype(qFromLittleEndian<quint32>(end + 16));
    qToLittleEndian(size, zip.data() + centralEntry + 24);
}

Images imagesOf(const ReadResult& result)
{
    Images images;
    for (const FirmwareImage& image : result.images)
        images.append({image.target, image.bytes});
    return images;
}

QStringList foundLines(const Images& images)
{
    QStringList lines;
    for (const auto& [target, bytes] : images) {
        lines << QStringLiteral("🔧 OTA: Found %1 (%2 bytes)")
                     .arg(target == stm32 ? "StiltaB1.bin" : "Stilta-Firmware.bin")
                     .arg(bytes.size());
    }
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(Entries)
Q_DECLARE_METATYPE(Images)

class TestFirmwarePackage : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    int fileCount = 0;

    // Reads from a file and from memory; the test fails when the two disagree.
    ReadResult readPackage(const QByteArray& zip)
    {
        const QString path = dir.filePath(QStringLiteral("package-%1.zip").arg(++fileCount));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(zip) != zip.size())
            QTest::qFail("cannot write the package", __FILE__, __LINE__);
        file.close();
        const ReadResult fromFile = read(path);
        const ReadResult fromMemory = readBytes(zip);
        if (fromFile.error != fromMemory.error || fromFile.logLines != fromMemory.logLines ||
            imagesOf(fromFile) != imagesOf(fromMemory))
            QTest::qFail("read() and readBytes() disagree", __FILE__, __LINE__);
        return fromFile;
    }

private slots:
    void findsImagesWhereverTheySit_data()
    {
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<Images>("expected");

        QTest::newRow("both at the root, deflated")
            << Entries{{"Stilta-Firmware.bin", cpu2}, {"StiltaB1.bin", cpu1}}
            << Images{{stm32, cpu1}, {esp32, cpu2}};
        QTest::newRow("both at the root, stored")
            << Entries{{"StiltaB1.bin", cpu1, ZIP_CM_STORE},
                       {"Stilta-Firmware.bin", cpu2, ZIP_CM_STORE}}
            << Images{{stm32, cpu1}, {esp32, cpu2}};
        QTest::newRow("only CPU2")
            << Entries{{"Stilta-Firmware.bin", cpu2}} << Images{{esp32, cpu2}};
        QTest::newRow("in sub-folders") << Entries{{"release/", {}},
                                                   {"release/stm32/StiltaB1.bin", cpu1},
                                                   {"release/esp32/", {}},
                                                   {"release/esp32/Stilta-Firmware.bin", cpu2}}
                                        << Images{{stm32, cpu1}, {esp32, cpu2}};
        QTest::newRow("Windows folder separators")
            << Entries{{"release\\StiltaB1.bin", cpu1}, {"release\\Stilta-Firmware.bin", cpu2}}
            << Images{{stm32, cpu1}, {esp32, cpu2}};
        QTest::newRow("beside other files")
            << Entries{{"README.txt", "notes"}, {"StiltaB1.bin", cpu1}, {"boot.bin", cpu2}}
            << Images{{stm32, cpu1}};
        QTest::newRow("empty CPU1 image")
            << Entries{{"StiltaB1.bin", {}}, {"Stilta-Firmware.bin", cpu2}}
            << Images{{stm32, {}}, {esp32, cpu2}};
        QTest::newRow("later entry of the same name wins")
            << Entries{{"old/StiltaB1.bin", "old cpu1"},
                       {"Stilta-Firmware.bin", "old cpu2"},
                       {"new/StiltaB1.bin", "new cpu1 image"},
                       {"new/Stilta-Firmware.bin", "new cpu2"}}
            << Images{{stm32, "new cpu1 image"}, {esp32, "new cpu2"}};
        QTest::newRow("near-miss names") << Entries{{"stiltab1.bin", "a"},
                                                    {"StiltaB1.bin.bak", "b"},
                                                    {"old-StiltaB1.bin", "c"},
                                                    {"StiltaB1.bin/", {}},
                                                    {"Stilta-Firmware.BIN", "d"}}
                                         << Images{};
    }

    void findsImagesWhereverTheySit()
    {
        QFETCH(Entries, entries);
        QFETCH(Images, expected);

        const ReadResult result = readPackage(zipOf(entries));
        // Without either image the error stays empty: the caller shows noFirmwareMessage.
        QCOMPARE(result.error, QString());
        QCOMPARE(imagesOf(result), expected);
        QCOMPARE(result.logLines, foundLines(expected));
    }

    void unreadablePackageIsReported_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray whole = zipOf({{"StiltaB1.bin", cpu1}, {"Stilta-Firmware.bin", cpu2}});
        QTest::newRow("not a zip") << QByteArray("This is a text file, not a chair package.\n");
        QTest::newRow("truncated") << whole.left(whole.size() / 2);
    }

    void unreadablePackageIsReported()
    {
        QFETCH(QByteArray, bytes);
        const ReadResult result = readPackage(bytes);
        QVERIFY(result.images.isEmpty());
        QCOMPARE(result.logLines.size(), 1);
        const QString prefix = QStringLiteral("🔧 OTA: unzip failed: ");
        QVERIFY2(result.logLines[0].startsWith(prefix), qPrintable(result.logLines[0]));
        const QString description = result.logLines[0].mid(prefix.size());
        QVERIFY(!description.isEmpty());
        QCOMPARE(result.error, "Could not read the firmware package: " + description);
    }

    void missingFileIsReported()
    {
        const ReadResult result = read(dir.filePath(QStringLiteral("no-such-package.zip")));
        QVERIFY(result.images.isEmpty());
        QCOMPARE(result.logLines, QStringList{"🔧 OTA: unzip failed: No such file"});
        QCOMPARE(result.error, QStringLiteral("Could not read the firmware package: No such file"));
    }

    void damagedImageFailsTheWholePackage_data()
    {
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<int>("damagedEntry");
        QTest::addColumn<QString>("fileName");

        QTest::newRow("deflated data altered")
            << Entries{{"StiltaB1.bin", cpu1}, {"Stilta-Firmware.bin", cpu2}} << 0
            << "StiltaB1.bin";
        QTest::newRow("stored data altered (CRC)")
            << Entries{{"StiltaB1.bin", cpu1, ZIP_CM_STORE}} << 0 << "StiltaB1.bin";
        QTest::newRow("CPU2 altered beside a good CPU1")
            << Entries{{"StiltaB1.bin", cpu1}, {"fw/Stilta-Firmware.bin", cpu2, ZIP_CM_STORE}} << 1
            << "Stilta-Firmware.bin";
    }

    void damagedImageFailsTheWholePackage()
    {
        QFETCH(Entries, entries);
        QFETCH(int, damagedEntry);
        QFETCH(QString, fileName);

        QByteArray zip = zipOf(entries);
        const qsizetype start = dataOffset(zip, damagedEntry) + 40;
        for (qsizetype i = start; i < start + 8; ++i)
            zip[i] = char(zip[i] ^ 0x5A);
        const ReadResult result = readPackage(zip);
        QVERIFY(result.images.isEmpty());
        QVERIFY2(result.error.startsWith(fileName + " in the package is damaged: "),
                 qPrintable(result.error));
        QVERIFY(result.logLines.isEmpty());
    }

    void unwantedEntriesAreNeverRead()
    {
        QByteArray zip =
            zipOf({{"notes.txt", QByteArray(400, 'n'), ZIP_CM_STORE}, {"StiltaB1.bin", cpu1}});
        zip[dataOffset(zip, 0) + 100] = 'X';
        const ReadResult result = readPackage(zip);
        QCOMPARE(result.error, QString());
        QCOMPARE(imagesOf(result), Images({{stm32, cpu1}}));
    }

    void imageSizeIsCapped_data()
    {
        QTest::addColumn<qsizetype>("actualSize");
        QTest::addColumn<qint64>("declaredSize"); // -1: the true size
        QTest::addColumn<bool>("isAccepted");

        const auto over = qsizetype(maxImageSize + 1024 * 1024);
        QTest::newRow("exactly the cap") << qsizetype(maxImageSize) << qint64(-1) << true;
        QTest::newRow("over the cap, declared honestly") << over << qint64(-1) << false;
        QTest::newRow("small, declared over the cap")
            << qsizetype(1000) << maxImageSize + 1 << false;
        QTest::newRow("over the cap, declared small") << over << qint64(1024 * 1024) << false;
    }

    void imageSizeIsCapped()
    {
        QFETCH(qsizetype, actualSize);
        QFETCH(qint64, declaredSize);
        QFETCH(bool, isAccepted);

        // Zeros deflate about a thousandfold: a zip bomb in miniature.
        QByteArray zip = zipOf({{"StiltaB1.bin", QByteArray(actualSize, '\0')}});
        if (declaredSize >= 0)
            declareSize(zip, quint32(declaredSize));
        const ReadResult result = readPackage(zip);
        if (isAccepted) {
            QCOMPARE(result.error, QString());
            QCOMPARE(result.images.size(), 1);
            QCOMPARE(result.images[0].bytes.size(), actualSize);
        } else {
            QCOMPARE(result.error,
                     "StiltaB1.bin is too large to be chair firmware (limit 64 MiB).");
            QVERIFY(result.images.isEmpty());
        }
    }

    void readsArchivesOfCommonArchivers_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");

        const QString python = QStringLiteral(
            "import os, sys, zipfile\n"
            "out = sys.stdout.buffer if sys.argv[1] == '-' else open(sys.argv[1], 'wb')\n"
            "with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:\n"
            "    for root, _, files in os.walk('.'):\n"
            "        for f in files:\n"
            "            if not f.endswith('.zip'): z.write(os.path.join(root, f))\n");
        const struct {
            const char* row;
            QString program;
            QStringList arguments;
        } archivers[] = {
            {"zip, stored", "zip", {"-q", "-0", "-r", "out.zip", "fw", "docs"}},
            {"zip, deflated", "zip", {"-q", "-r", "out.zip", "fw", "docs"}},
            {"zip, Zip64", "zip", {"-q", "-fz", "-r", "out.zip", "fw", "docs"}},
            {"zip, streamed", "zip", {"-q", "-r", "-", "fw", "docs"}},
            {"bsdtar", "bsdtar", {"--format", "zip", "-cf", "out.zip", "fw", "docs"}},
            {"7-Zip", "7z", {"a", "-tzip", "-bso0", "-bsp0", "out.zip", "fw", "docs"}},
            {"Python zipfile", "python3", {"-c", python, "out.zip"}},
            {"Python zipfile, streamed", "python3", {"-c", python, "-"}},
        };
        for (const auto& archiver : archivers)
            QTest::newRow(archiver.row) << archiver.program << archiver.arguments;
    }

    void readsArchivesOfCommonArchivers()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        if (QStandardPaths::findExecutable(program).isEmpty())
            QSKIP(qPrintable(program + " is not installed (scripts/deps installs it)"));

        QTemporaryDir work;
        QVERIFY(QDir(work.path()).mkpath("fw/stm32") && QDir(work.path()).mkpath("docs"));
        const auto put = [&](const QString& name, const QByteArray& bytes) {
            QFile file(work.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        };
        QVERIFY(put("fw/stm32/StiltaB1.bin", cpu1));
        QVERIFY(put("fw/Stilta-Firmware.bin", cpu2));
        QVERIFY(put("docs/release-notes.txt", "Chair firmware release\n"));

        QProcess archiver;
        archiver.setWorkingDirectory(work.path());
        archiver.start(program, arguments);
        QVERIFY(archiver.waitForFinished(30000));
        QCOMPARE(archiver.exitCode(), 0);
        // Into a pipe ("-") an archiver cannot seek back, so sizes go in data descriptors.
        QByteArray zip = archiver.readAllStandardOutput();
        if (!arguments.contains("-")) {
            QFile file(work.filePath("out.zip"));
            QVERIFY(file.open(QIODevice::ReadOnly));
            zip = file.readAll();
        }

        const ReadResult result = readPackage(zip);
        QCOMPARE(result.error, QString());
        QCOMPARE(imagesOf(result), Images({{stm32, cpu1}, {esp32, cpu2}}));
    }
};

QTEST_GUILESS_MAIN(TestFirmwarePackage)
#include "tst_firmwarepackage.moc"
