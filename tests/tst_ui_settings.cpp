// The settings tab on the real QML: the vibration slider's writes, the update card through a
// real update on the fake chair, the firmware picker's answers, the WiFi rows, the WiFi and
// legal sheets, and the way Tab takes through the tab.
#include "ScreenFixture.h"
#include "ZipWriter.h"

#include <QtTest>

using namespace ChairProfile;

namespace {

// A ready chair that takes updates, and its settings tab.
struct SettingsTab : ScreenFixture {
    SettingsTab()
    {
        chair = f.central->makeChair();
        chair->values[otaV2BeginUUID] = bytes({1});
        f.connectChair(chair);
        load("SettingsView.qml");
    }

    OTAState update() const { return f.manager->otaState(); }
    QObject* picker() const { return root->findChild<QObject*>(QStringLiteral("firmwarePicker")); }
    // The picker answers with this file, as it does when the user picks it.
    void pick(const QUrl& file)
    {
        QVERIFY(picker()->setProperty("selectedFile", file));
        QVERIFY(QMetaObject::invokeMethod(picker(), "accepted"));
    }
    // What the picker's handler does with a file it cannot hold as its selection.
    void choose(const QUrl& file)
    {
        QVERIFY(QMetaObject::invokeMethod(root, "firmwareFileChosen", Q_ARG(QVariant, file)));
    }
    // Focus on a control, then a key, as a keyboard user does.
    void press(const char* name, Qt::Key key)
    {
        item(name)->forceActiveFocus(Qt::TabFocusReason);
        ui.press(key);
    }
};

} // namespace

class UiSettingsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", QDir::tempPath().toUtf8()); }

    // The gestures themselves belong to the shared slider; here, what vibration makes of them.
    void vibrationSliderWritesBothMotorsOnce()
    {
        SettingsTab s;
        s.f.report(*s.chair, leftMotorSoundUUID, bytes({20}));
        QVERIFY(s.shows("20%"));
        s.press("motorStrengthSlider", Qt::Key_Right);
        QCOMPARE(s.f.manager->motorStrength(), 21.0);
        QVERIFY(s.shows("21%"));
        QCOMPARE(s.writes(leftMotorSoundUUID), QList<QByteArray>{bytes({21})});
        QCOMPARE(s.writes(rightMotorSoundUUID), QList<QByteArray>{bytes({21})});

        // The wheel over the slider scrolls the page and leaves the strength alone.
        s.f.central->clearCalls();
        QQuickItem* slider = s.item("motorStrengthSlider");
        QObject* page = s.item("settingsScroll");
        const double top = page->property("contentY").toDouble();
        const QPointF centre = slider->mapToScene(QPointF(slider->width(), slider->height()) / 2);
        QWheelEvent wheel(centre, s.ui.window().mapToGlobal(centre), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&s.ui.window(), &wheel);
        QTRY_VERIFY(page->property("contentY").toDouble() > top);
        QCOMPARE(s.f.manager->motorStrength(), 21.0);
        QVERIFY(s.writes(leftMotorSoundUUID).isEmpty());
    }

    void updateCardFollowsARealUpdate()
    {
        SettingsTab s;
        // 40 chunks of CPU1 image; the picker hands over the package.
        const QString package = s.f.dir.filePath(QStringLiteral("chair update.zip"));
        QVERIFY(writeZip(package, {{"StiltaB1.bin", firmwareImage(40 * 250, 3)}}));
        s.pick(QUrl::fromLocalFile(package));
        QVERIFY(s.shows("CPU1 (STM32) — Preparing..."));
        QVERIFY(s.item("updateSpinner"));
        QVERIFY(!s.item("updateProgress"));
        QVERIFY(!s.item("selectFirmwareButton")); // one update at a time
        QTRY_COMPARE(s.writes(otaV2BeginUUID).size(), 1);

        // The begin's answer, then one chunk every 100 ms: the figures wait for enough chunks.
        const QDateTime start = s.f.clock.now();
        for (int step = 0; step <= 10; ++step) {
            s.f.clock.setNow(start.addMSecs(100 * step));
            QVERIFY(s.f.central->deliverNext());
            if (step == 1) {
                QTRY_VERIFY(s.shows("CPU1 (STM32) — Transferring..."));
                QVERIFY(s.shows("2%"));
                QVERIFY(!s.item("transferRateText"));
            }
        }
        QTRY_VERIFY(s.shows("25%"));
        QCOMPARE(s.item("transferRateText")->property("text").toString(),
                 QStringLiteral("2.5 KB/s · 3 s left"));
        QCOMPARE(s.item("updateProgressBar")->property("value").toDouble(), 0.25);

        // The last confirmation, then the flasher's record says it is done.
        s.f.central->flush();
        s.chair->values[otaV2StatusUUID] = flashRecord(4, 84, 84);
        s.f.advance(std::chrono::milliseconds(500));
        QTRY_VERIFY(s.shows("Update complete! Chair will restart."));
        s.ui.click(s.item("updateDoneButton"));
        QCOMPARE(s.update(), OTAState::idle());
        QTRY_VERIFY(s.item("selectFirmwareButton"));
    }

    void pickerAnswersAndTheWayBackFromAnError()
    {
        SettingsTab s;
        const QString package = s.f.dir.filePath(QStringLiteral("notes.zip"));
        QVERIFY(writeZip(package, {{"readme.txt", "hello"}}));
        s.pick(QUrl::fromLocalFile(package));
        QTRY_VERIFY(s.shows("No firmware files found in ZIP.\n"
                            "Expected: StiltaB1.bin and/or Stilta-Firmware.bin"));
        QVERIFY(s.item("updateError"));
        s.ui.click(s.item("tryAgainButton"));
        QCOMPARE(s.update(), OTAState::idle());
        QTRY_VERIFY(s.item("selectFirmwareButton"));

        // A file the picker cannot hand over as a local file is the picker's failure.
        s.choose(QUrl(QStringLiteral("sftp://nas/update.zip")));
        QCOMPARE(s.update().kind, OTAState::Kind::error);
        QVERIFY(s.update().message.contains(QStringLiteral("sftp://nas/update.zip")));
        QTRY_VERIFY(s.item("tryAgainButton"));
        s.ui.click(s.item("tryAgainButton"));

        // No file at all, or a cancelled picker, leaves the card as it was.
        s.choose(QUrl());
        QCOMPARE(s.update(), OTAState::idle());
        s.ui.click(s.item("selectFirmwareButton"));
        QTRY_VERIFY(s.picker()->property("visible").toBool());
        QVERIFY(s.root->property("showFilePicker").toBool());
        QVERIFY(QMetaObject::invokeMethod(s.picker(), "reject"));
        QTRY_VERIFY(!s.root->property("showFilePicker").toBool());
        QCOMPARE(s.update(), OTAState::idle());
        QVERIFY(s.item("selectFirmwareButton"));
    }

    void wifiRowsFollowTheChair()
    {
        SettingsTab s;
        QVERIFY(s.shows("Connected"));
        QVERIFY(s.shows("Office_5G"));
        QCOMPARE(s.item("wifiStatusDot")->property("color").value<QColor>(), QColor(0x30D158));
        // Online without naming its network: no Network row.
        s.f.report(*s.chair, wifiSSIDUUID, QByteArray());
        QTRY_VERIFY(!s.item("wifiNetworkRow"));

        s.f.report(*s.chair, wifiStatusUUID, QByteArray(1, '\x08'));
        QTRY_VERIFY(s.shows("Error"));
        QCOMPARE(s.item("wifiStatusDot")->property("color").value<QColor>(), QColor(0xFF9F0A));
    }

    // Sheets open by click or Space and close by Escape, Done or Cancel, sending nothing.
    void sheetsOpenAndCloseWithoutSending()
    {
        SettingsTab s;
        s.press("termsButton", Qt::Key_Space);
        QTRY_VERIFY(s.root->property("showTerms").toBool());
        QTRY_VERIFY(s.item("sheetDocument"));
        s.ui.press(Qt::Key_Escape);
        QTRY_VERIFY(!s.item("sheetDocument"));
        QVERIFY(!s.root->property("showTerms").toBool());
        s.ui.click(s.item("privacyPolicyButton"));
        QTRY_VERIFY(s.root->property("showPrivacyPolicy").toBool());
        QTRY_VERIFY(s.item("doneButton"));
        s.ui.click(s.item("doneButton"));
        QTRY_VERIFY(!s.root->property("showPrivacyPolicy").toBool());

        for (bool byEscape : {false, true}) {
            s.press("configureWiFiButton", Qt::Key_Space);
            QTRY_VERIFY(s.shows("WiFi Setup"));
            QVERIFY(s.root->property("showWiFiConfig").toBool());
            if (byEscape)
                s.ui.press(Qt::Key_Escape);
            else
                s.ui.click(s.item("cancelButton"));
            QTRY_VERIFY(!s.shows("WiFi Setup"));
            QVERIFY(!s.root->property("showWiFiConfig").toBool());
        }
        QCOMPARE(s.f.central->count(FakeCall::Kind::write), 0);
        QCOMPARE(s.f.state(), ConnectionState::ready);
    }

    // Each control Tab reaches is scrolled into view.
    void tabReachesEveryControl()
    {
        SettingsTab s;
        QStringList reached;
        for (int i = 0; i < 8; ++i) {
            s.ui.press(Qt::Key_Tab);
            QQuickItem* item = s.ui.window().activeFocusItem();
            if (!item)
                continue;
            reached << item->objectName();
            const QPointF bottom = item->mapToScene(QPointF(0, item->height()));
            QVERIFY2(bottom.y() <= s.ui.window().height(), qPrintable(item->objectName()));
        }
        for (const char* name : {"termsButton", "privacyPolicyButton", "motorStrengthSlider",
                                 "selectFirmwareButton", "configureWiFiButton"})
            QVERIFY2(reached.contains(QString::fromLatin1(name)), name);
    }
};

QTEST_MAIN(UiSettingsTest)
#include "tst_ui_settings.moc"
