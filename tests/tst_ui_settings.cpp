// The settings tab on the real QML: the vibration slider's writes, the update card through a
// real update on the fake chair, the firmware picker's answers, and the WiFi and legal sheets.
#include "LinkFixture.h"
#include "QmlHarness.h"
#include "ScreenServices.h"
#include "ZipWriter.h"

#include <QtTest>

using namespace ChairProfile;
using namespace std::chrono_literals;
using Kind = FakeCall::Kind;

namespace {

QByteArray flashRecord(quint32 code, quint32 page, quint32 total)
{
    return u32Bytes(code) + u32Bytes(page) + u32Bytes(total);
}

// The point of the slider's track where the handle stands at this strength.
QPoint sliderPoint(QQuickItem* slider, double strength)
{
    auto* handle = slider->property("handle").value<QQuickItem*>();
    const double room = slider->property("availableWidth").toDouble() - handle->width();
    const double x = slider->property("leftPadding").toDouble() + handle->width() / 2 +
                     (strength - 20.0) / 30.0 * room;
    return slider->mapToScene(QPointF(x, slider->height() / 2)).toPoint();
}

} // namespace

class UiSettingsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenServices> services;

    QQuickItem* load(QmlHarness& ui, LinkFixture& f)
    {
        services = std::make_unique<ScreenServices>(f.scheduler, f.clock, f.settings);
        QQuickItem* root =
            ui.load(QStringLiteral("SettingsView.qml"),
                    {{QStringLiteral("bluetooth"), QVariant::fromValue(f.manager.get())},
                     {QStringLiteral("services"), QVariant::fromValue(services.get())}});
        if (!root)
            qWarning().noquote() << ui.errors();
        return root;
    }

    static QObject* picker(QQuickItem* root)
    {
        return root->findChild<QObject*>(QStringLiteral("firmwarePicker"));
    }

    // The picker answers with this file, as it does when the user picks it.
    static void pick(QQuickItem* root, const QUrl& file)
    {
        QObject* dialog = picker(root);
        QVERIFY(dialog);
        QVERIFY(dialog->setProperty("selectedFile", file));
        QVERIFY(QMetaObject::invokeMethod(dialog, "accepted"));
    }

    // What the picker's accepted handler does with a file it cannot hold as its selection.
    static void chosen(QQuickItem* root, const QUrl& file)
    {
        QVERIFY(QMetaObject::invokeMethod(root, "firmwareFileChosen", Q_ARG(QVariant, file)));
    }

    // Focus brings a control of a lower card into view, as Tab does.
    static void reach(QmlHarness& ui, const char* objectName)
    {
        QQuickItem* item = ui.byName(QString::fromLatin1(objectName));
        QVERIFY(item);
        item->forceActiveFocus(Qt::TabFocusReason);
        QTRY_VERIFY(item->mapToScene(QPointF(0, item->height())).y() <= ui.window().height());
    }

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", QDir::tempPath().toUtf8()); }

    void vibrationSliderWritesOnceAndShieldsTheDrag()
    {
        LinkFixture f;
        QmlHarness ui;
        auto chair = f.connectChair();
        f.report(*chair, leftMotorSoundUUID, bytes({20}));
        QCOMPARE(f.manager->motorStrength(), 20.0);
        QVERIFY(load(ui, f));
        QQuickItem* slider = ui.byName(QStringLiteral("motorStrengthSlider"));
        QVERIFY(slider);
        QVERIFY(ui.shows(QStringLiteral("20%")));
        f.central->clearCalls();

        // A drag from 20 to 35 follows on screen, in whole numbers, and writes once on release.
        QTest::mousePress(&ui.window(), Qt::LeftButton, {}, sliderPoint(slider, 20));
        QVERIFY(f.manager->isEditingMotor());
        for (int s = 21; s <= 35; ++s) {
            QTest::mouseMove(&ui.window(), sliderPoint(slider, s - 0.3));
            QCOMPARE(f.manager->motorStrength(), std::round(f.manager->motorStrength()));
        }
        QTest::mouseMove(&ui.window(), sliderPoint(slider, 35));
        QCOMPARE(f.manager->motorStrength(), 35.0);
        QVERIFY(ui.shows(QStringLiteral("35%")));
        // The chair's own value, arriving mid-drag, does not pull the handle back.
        f.report(*chair, leftMotorSoundUUID, bytes({22}));
        QCOMPARE(f.manager->motorStrength(), 35.0);
        QVERIFY(f.central->writesTo(leftMotorSoundUUID).isEmpty());
        QTest::mouseRelease(&ui.window(), Qt::LeftButton, {}, sliderPoint(slider, 35));
        QVERIFY(!f.manager->isEditingMotor());
        QCOMPARE(f.central->writesTo(leftMotorSoundUUID), QList<QByteArray>{bytes({35})});
        QCOMPARE(f.central->writesTo(rightMotorSoundUUID), QList<QByteArray>{bytes({35})});

        // One key step is one write to each motor.
        f.central->clearCalls();
        slider->forceActiveFocus(Qt::TabFocusReason);
        ui.press(Qt::Key_Right);
        QCOMPARE(f.manager->motorStrength(), 36.0);
        QVERIFY(ui.shows(QStringLiteral("36%")));
        QVERIFY(!f.manager->isEditingMotor());
        QCOMPARE(f.central->writesTo(leftMotorSoundUUID), QList<QByteArray>{bytes({36})});
        QCOMPARE(f.central->writesTo(rightMotorSoundUUID), QList<QByteArray>{bytes({36})});

        // So is a click on the track.
        f.central->clearCalls();
        QTest::mouseClick(&ui.window(), Qt::LeftButton, {}, sliderPoint(slider, 45));
        QCOMPARE(f.manager->motorStrength(), 45.0);
        QCOMPARE(f.central->writesTo(leftMotorSoundUUID), QList<QByteArray>{bytes({45})});

        // Scrolling the page over the slider scrolls the page and leaves the strength alone.
        f.central->clearCalls();
        QObject* page = ui.byName(QStringLiteral("settingsScroll"));
        const double top = page->property("contentY").toDouble();
        const QPointF centre = sliderPoint(slider, 45);
        QWheelEvent wheel(centre, ui.window().mapToGlobal(centre), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&ui.window(), &wheel);
        QTRY_VERIFY(page->property("contentY").toDouble() > top);
        QCOMPARE(f.manager->motorStrength(), 45.0);
        QVERIFY(f.central->writesTo(leftMotorSoundUUID).isEmpty());
    }

    void updateCardFollowsARealUpdate()
    {
        LinkFixture f;
        QmlHarness ui;
        auto chair = f.central->makeChair();
        chair->values[otaV2BeginUUID] = bytes({1});
        f.connectChair(chair);
        QQuickItem* root = load(ui, f);
        QVERIFY(root);
        QVERIFY(ui.byName(QStringLiteral("selectFirmwareButton")));

        // 40 chunks of CPU1 image; the picker hands over the package.
        const QString package = f.dir.filePath(QStringLiteral("chair update.zip"));
        QVERIFY(writeZip(package, {{"StiltaB1.bin", firmwareImage(40 * 250, 3)}}));
        pick(root, QUrl::fromLocalFile(package));
        QCOMPARE(f.manager->otaState().kind, OTAState::Kind::preparing);
        QVERIFY(ui.shows(QStringLiteral("CPU1 (STM32) — Preparing...")));
        QVERIFY(!ui.byName(QStringLiteral("selectFirmwareButton"))); // one update at a time
        QTRY_COMPARE(f.central->writesTo(otaV2BeginUUID).size(), 1);

        // One chunk per 100 ms: the figures appear once enough chunks have been confirmed.
        const QDateTime start = f.clock.now();
        QVERIFY(f.central->deliverNext()); // begin confirmed: read the answer
        f.clock.setNow(start.addMSecs(100));
        QVERIFY(f.central->deliverNext()); // ready: the first chunk
        QTRY_VERIFY(ui.shows(QStringLiteral("CPU1 (STM32) — Transferring...")));
        QVERIFY(ui.shows(QStringLiteral("2%")));
        QVERIFY(!ui.byName(QStringLiteral("transferRateText")));
        for (int chunk = 2; chunk <= 10; ++chunk) {
            f.clock.setNow(start.addMSecs(100 * chunk));
            QVERIFY(f.central->deliverNext());
        }
        QCOMPARE(f.manager->otaState(),
                 OTAState::transferring(QStringLiteral("CPU1 (STM32)"), 0.25));
        QTRY_VERIFY(ui.shows(QStringLiteral("25%")));
        QCOMPARE(ui.byName(QStringLiteral("transferRateText"))->property("text").toString(),
                 QStringLiteral("2.5 KB/s · 3 s left"));
        QCOMPARE(ui.byName(QStringLiteral("updateProgressBar"))->property("value").toDouble(),
                 0.25);

        // The last confirmation: waiting for the flasher, a spinner and no page count.
        f.central->flush();
        QTRY_VERIFY(ui.shows(QStringLiteral("CPU1 (STM32) — Waiting for flash...")));
        QVERIFY(ui.byName(QStringLiteral("updateSpinner")));
        QVERIFY(!ui.byName(QStringLiteral("updateProgressDetail")));
        QVERIFY(!ui.byName(QStringLiteral("transferRateText")));

        const QList<std::pair<QByteArray, std::pair<const char*, const char*>>> flashing = {
            {flashRecord(4, 0, 84), {"CPU1 (STM32) — Preparing flash...", "Page 0 / 84"}},
            {flashRecord(9, 10, 84), {"CPU1 (STM32) — Transmitting to CORE0", "Page 10 / 84"}},
            {flashRecord(11, 12, 84), {"CPU1 (STM32) — Writing to flash", "Page 12 / 84"}},
        };
        for (const auto& [record, texts] : flashing) {
            chair->values[otaV2StatusUUID] = record;
            f.advance(500ms);
            QTRY_VERIFY(ui.shows(QString::fromUtf8(texts.first)));
            QVERIFY(ui.shows(QString::fromUtf8(texts.second)));
        }
        QCOMPARE(ui.byName(QStringLiteral("updateProgressBar"))->property("value").toDouble(),
                 12.0 / 84.0);

        chair->values[otaV2StatusUUID] = flashRecord(4, 84, 84);
        f.advance(500ms);
        QTRY_VERIFY(ui.shows(QStringLiteral("Update complete! Chair will restart.")));
        ui.click(ui.byName(QStringLiteral("updateDoneButton")));
        QCOMPARE(f.manager->otaState(), OTAState::idle());
        QTRY_VERIFY(ui.byName(QStringLiteral("selectFirmwareButton")));
    }

    void updateErrorsAndTheirWayBack()
    {
        LinkFixture f;
        QmlHarness ui;
        f.connectChair();
        QQuickItem* root = load(ui, f);
        QVERIFY(root);

        const QString package = f.dir.filePath(QStringLiteral("notes.zip"));
        QVERIFY(writeZip(package, {{"readme.txt", "hello"}}));
        pick(root, QUrl::fromLocalFile(package));
        QTRY_VERIFY(ui.shows(QStringLiteral(
            "No firmware files found in ZIP.\nExpected: StiltaB1.bin and/or Stilta-Firmware.bin")));
        QVERIFY(ui.byName(QStringLiteral("updateError")));
        ui.click(ui.byName(QStringLiteral("tryAgainButton")));
        QCOMPARE(f.manager->otaState(), OTAState::idle());
        QTRY_VERIFY(ui.byName(QStringLiteral("selectFirmwareButton")));

        // A file the picker cannot hand over as a local file is the picker's failure.
        chosen(root, QUrl(QStringLiteral("sftp://nas/update.zip")));
        QCOMPARE(f.manager->otaState().kind, OTAState::Kind::error);
        QVERIFY(f.manager->otaState().message.contains(QStringLiteral("sftp://nas/update.zip")));
        QTRY_VERIFY(ui.byName(QStringLiteral("tryAgainButton")));
        ui.click(ui.byName(QStringLiteral("tryAgainButton")));

        // No file at all, or a cancelled picker, leaves the card as it was.
        chosen(root, QUrl());
        QCOMPARE(f.manager->otaState(), OTAState::idle());
        ui.click(ui.byName(QStringLiteral("selectFirmwareButton")));
        QTRY_VERIFY(picker(root)->property("visible").toBool());
        QVERIFY(root->property("showFilePicker").toBool());
        QVERIFY(QMetaObject::invokeMethod(picker(root), "reject"));
        QTRY_VERIFY(!root->property("showFilePicker").toBool());
        QCOMPARE(f.manager->otaState(), OTAState::idle());
        QVERIFY(ui.byName(QStringLiteral("selectFirmwareButton")));
    }

    void sheetsOpenAndCloseWithoutSending()
    {
        LinkFixture f;
        QmlHarness ui;
        f.connectChair();
        QQuickItem* root = load(ui, f);
        QVERIFY(root);
        QVERIFY(ui.shows(QStringLiteral("Connected")));
        QVERIFY(ui.shows(QStringLiteral("Office_5G")));
        f.central->clearCalls();

        reach(ui, "configureWiFiButton");
        ui.click(ui.byName(QStringLiteral("configureWiFiButton")));
        QTRY_VERIFY(ui.shows(QStringLiteral("WiFi Setup")));
        QVERIFY(root->property("showWiFiConfig").toBool());
        ui.click(ui.byName(QStringLiteral("cancelButton")));
        QTRY_VERIFY(!ui.shows(QStringLiteral("WiFi Setup")));
        QVERIFY(!root->property("showWiFiConfig").toBool());

        reach(ui, "configureWiFiButton");
        ui.click(ui.byName(QStringLiteral("configureWiFiButton")));
        QTRY_VERIFY(ui.shows(QStringLiteral("WiFi Setup")));
        ui.press(Qt::Key_Escape);
        QTRY_VERIFY(!ui.shows(QStringLiteral("WiFi Setup")));
        QVERIFY(!root->property("showWiFiConfig").toBool());
        QCOMPARE(f.central->count(Kind::write), 0);
        QCOMPARE(f.state(), ConnectionState::ready);

        for (const char* button : {"termsButton", "privacyPolicyButton"}) {
            ui.click(ui.byName(QString::fromLatin1(button)));
            QTRY_VERIFY(ui.byName(QStringLiteral("sheetDocument")));
            ui.press(Qt::Key_Escape);
            QTRY_VERIFY(!ui.byName(QStringLiteral("sheetDocument")));
        }
        QVERIFY(!root->property("showTerms").toBool());
        QVERIFY(!root->property("showPrivacyPolicy").toBool());
        // Done closes a sheet as well.
        ui.click(ui.byName(QStringLiteral("privacyPolicyButton")));
        QTRY_VERIFY(root->property("showPrivacyPolicy").toBool());
        QTRY_VERIFY(ui.byName(QStringLiteral("doneButton")));
        ui.click(ui.byName(QStringLiteral("doneButton")));
        QTRY_VERIFY(!root->property("showPrivacyPolicy").toBool());
        QCOMPARE(f.central->count(Kind::write), 0);
    }

    void generalAndWifiRows()
    {
        LinkFixture f;
        QmlHarness ui;
        auto chair = f.central->makeChair();
        chair->values[wifiStatusUUID] = QByteArray(1, '\x04');
        chair->values[wifiSSIDUUID] = QByteArray();
        f.connectChair(chair);
        QVERIFY(load(ui, f));
        QVERIFY(ui.shows(QStringLiteral("Connected")));
        QCOMPARE(ui.byName(QStringLiteral("wifiStatusDot"))->property("color").value<QColor>(),
                 QColor(QStringLiteral("#30D158")));
        QVERIFY(!ui.byName(QStringLiteral("wifiNetworkRow")));

        f.report(*chair, wifiStatusUUID, QByteArray(1, '\x08'));
        QTRY_VERIFY(ui.shows(QStringLiteral("Error")));
        QCOMPARE(ui.byName(QStringLiteral("wifiStatusDot"))->property("color").value<QColor>(),
                 QColor(QStringLiteral("#FF9F0A")));
    }

    void tabReachesEveryControl()
    {
        LinkFixture f;
        QmlHarness ui;
        f.connectChair();
        QVERIFY(load(ui, f));
        QStringList reached;
        for (int i = 0; i < 8; ++i) {
            ui.press(Qt::Key_Tab);
            QQuickItem* item = ui.window().activeFocusItem();
            if (!item)
                continue;
            reached << item->objectName();
            // Each control Tab reaches is scrolled into view.
            const QPointF bottom = item->mapToScene(QPointF(0, item->height()));
            QVERIFY2(bottom.y() <= ui.window().height(), qPrintable(item->objectName()));
        }
        for (const char* name : {"termsButton", "privacyPolicyButton", "motorStrengthSlider",
                                 "selectFirmwareButton", "configureWiFiButton"})
            QVERIFY2(reached.contains(QString::fromLatin1(name)), name);

        // Space on a focused row opens its sheet.
        ui.byName(QStringLiteral("termsButton"))->forceActiveFocus(Qt::TabFocusReason);
        ui.press(Qt::Key_Space);
        QTRY_VERIFY(ui.byName(QStringLiteral("sheetDocument")));
    }
};

QTEST_MAIN(UiSettingsTest)
#include "tst_ui_settings.moc"
