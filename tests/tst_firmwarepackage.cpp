// Reading chair update packages: which images come out, in what order, and when a package is
// refused. Every archive is read both from its file and from memory; the two must agree.
#include "FirmwarePackage.h"
#include "ZipWriter.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace FirmwarePackage;

namespace {

using Images = QList<QPair<FirmwareTarget, QByteArray>>;

// Compressible, so deflate keeps it deflated, but not a plain repeat.
const QByteArray cpu1 = firmwareImage(3000, 7);
const QByteArray cpu2 = QByteArray("ESP32 application image ").repeated(60);
constexpr auto stm32 = FirmwareTarget::cpu1Stm32;
constexpr auto esp32 = FirmwareTarget::cpu2Esp32;
constexpr auto deflated = Compression::deflated;
constexpr auto stored = Compression::stored;
const Images both{{stm32, cpu1}, {esp32, cpu2}};

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

// Alters eight bytes inside an entry's data.
QByteArray damaged(QByteArray zip, int entryIndex)
{
    const qsizetype start = dataOffset(zip, entryIndex) + 40;
    for (qsizetype i = start; i < start + 8; ++i)
        zip[i] = char(zip[i] ^ 0x5A);
    return zip;
}

// Makes a one-entry archive lie about its uncompressed size, in both of its headers.
QByteArray declaringSize(QByteArray zip, quint32 size)
{
    qToLittleEndian(size, zip.data() + 22);
    const auto* end = reinterpret_cast<const uchar*>(zip.constData() + zip.size() - 22);
    qToLittleEndian(size, zip.data() + qFromLittleEndian<quint32>(end + 16) + 24);
    return zip;
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
    void imagesComeOutWholeOrNotAtAll_data()
    {
        QTest::addColumn<QByteArray>("zip");
        QTest::addColumn<Images>("expected");
        // Empty for a good package; ends in ": " where the unzip library's description follows.
        QTest::addColumn<QString>("error");

        QTest::newRow("both at the root, deflated")
            << zipBytes({{"Stilta-Firmware.bin", cpu2, deflated}, {"StiltaB1.bin", cpu1, deflated}})
            << both << QString();
        QTest::newRow("both at the root, stored")
            << zipBytes({{"StiltaB1.bin", cpu1, stored}, {"Stilta-Firmware.bin", cpu2, stored}})
            << both << QString();
        QTest::newRow("only CPU2")
            << zipBytes({{"Stilta-Firmware.bin", cpu2}}) << Images{{esp32, cpu2}} << QString();
        QTest::newRow("in sub-folders") << zipBytes({{"release/", {}},
                                                     {"release/stm32/StiltaB1.bin", cpu1},
                                                     {"release/esp32/", {}},
                                                     {"release/esp32/Stilta-Firmware.bin", cpu2}})
                                        << both << QString();
        QTest::newRow("Windows folder separators")
            << zipBytes({{"release\\StiltaB1.bin", cpu1}, {"release\\Stilta-Firmware.bin", cpu2}})
            << both << QString();
        QTest::newRow("beside other files")
            << zipBytes({{"README.txt", "notes"}, {"StiltaB1.bin", cpu1}, {"boot.bin", cpu2}})
            << Images{{stm32, cpu1}} << QString();
        QTest::newRow("empty CPU1 image")
            << zipBytes({{"StiltaB1.bin", {}}, {"Stilta-Firmware.bin", cpu2}})
            << Images{{stm32, {}}, {esp32, cpu2}} << QString();
        QTest::newRow("later entry of the same name wins")
            << zipBytes({{"old/StiltaB1.bin", "old cpu1"},
                         {"Stilta-Firmware.bin", "old cpu2"},
                         {"new/StiltaB1.bin", "new cpu1 image"},
                         {"new/Stilta-Firmware.bin", "new cpu2"}})
            << Images{{stm32, "new cpu1 image"}, {esp32, "new cpu2"}} << QString();
        // Without either image the error stays empty: the caller shows noFirmwareMessage.
        QTest::newRow("near-miss names") << zipBytes({{"stiltab1.bin", "a"},
                                                      {"StiltaB1.bin.bak", "b"},
                                                      {"old-StiltaB1.bin", "c"},
                                                      {"StiltaB1.bin/", {}},
                                                      {"Stilta-Firmware.BIN", "d"}})
                                         << Images{} << QString();
        QTest::newRow("a damaged entry that is no image is never read")
            << damaged(
                   zipBytes({{"notes.txt", QByteArray(400, 'n'), stored}, {"StiltaB1.bin", cpu1}}),
                   0)
            << Images{{stm32, cpu1}} << QString();

        // A damaged image is never flashed, not even beside a good one.
        const QString cpu1Damaged = QStringLiteral("StiltaB1.bin in the package is damaged: ");
        QTest::newRow("deflated data altered")
            << damaged(zipBytes({{"StiltaB1.bin", cpu1, deflated}, {"Stilta-Firmware.bin", cpu2}}),
                       0)
            << Images{} << cpu1Damaged;
        QTest::newRow("stored data altered (CRC)")
            << damaged(zipBytes({{"StiltaB1.bin", cpu1, stored}}), 0) << Images{} << cpu1Damaged;
        QTest::newRow("CPU2 altered beside a good CPU1")
            << damaged(zipBytes({{"StiltaB1.bin", cpu1}, {"fw/Stilta-Firmware.bin", cpu2, stored}}),
                       1)
            << Images{} << QStringLiteral("Stilta-Firmware.bin in the package is damaged: ");

        // Not a package at all: the unzip library's description is shown and logged.
        const QString unreadable = QStringLiteral("Could not read the firmware package: ");
        const QByteArray whole = zipBytes({{"StiltaB1.bin", cpu1}, {"Stilta-Firmware.bin", cpu2}});
        QTest::newRow("not a zip")
            << QByteArray("This is a text file, not a chair package.\n") << Images{} << unreadable;
        QTest::newRow("truncated") << whole.left(whole.size() / 2) << Images{} << unreadable;
        QTest::newRow("no file at all") << QByteArray() << Images{} << unreadable + "No such file";

        // Zeros deflate about a thousandfold: a zip bomb in miniature.
        const auto zeros = [](qint64 size) {
            return zipBytes({{"StiltaB1.bin", QByteArray(size, '\0')}});
        };
        const QString tooLarge =
            QStringLiteral("StiltaB1.bin is too large to be chair firmware (limit 64 MiB).");
        const qint64 over = maxImageSize + 1024 * 1024;
        QTest::newRow("exactly the size cap")
            << zeros(maxImageSize) << Images{{stm32, QByteArray(maxImageSize, '\0')}} << QString();
        QTest::newRow("over the cap, declared honestly") << zeros(over) << Images{} << tooLarge;
        QTest::newRow("small, declared over the cap")
            << declaringSize(zeros(1000), maxImageSize + 1) << Images{} << tooLarge;
        QTest::newRow("over the cap, declared small")
            << declaringSize(zeros(over), 1024 * 1024) << Images{} << tooLarge;
    }

    void imagesComeOutWholeOrNotAtAll()
    {
        QFETCH(QByteArray, zip);
        QFETCH(Images, expected);
        QFETCH(QString, error);

        const ReadResult result =
            zip.isNull() ? read(dir.filePath(QStringLiteral("missing.zip"))) : readPackage(zip);
        QCOMPARE(imagesOf(result), expected);
        const QString unreadable = QStringLiteral("Could not read the firmware package: ");
        QCOMPARE(result.logLines,
                 error.startsWith(unreadable)
                     ? QStringList{"🔧 OTA: unzip failed: " + result.error.mid(unreadable.size())}
                     : foundLines(expected));
        if (error.endsWith(": "))
            QVERIFY2(result.error.startsWith(error) && result.error.size() > error.size(),
                     qPrintable(result.error));
        else
            QCOMPARE(result.error, error);
    }
};

QTEST_GUILESS_MAIN(TestFirmwarePackage)
#include "tst_firmwarepackage.moc"
