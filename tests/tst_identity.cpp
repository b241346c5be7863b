// Who the chair is (serial number, revisions) and who uses it (the e-mail it is told).
#include "LinkFixture.h"

#include <QtTest>

using namespace ChairProfile;
using namespace std::chrono_literals;

namespace {

const QString skippedLine = QStringLiteral("📧 No registered email — skipping chair sync");

QStringList mailLines(const LinkFixture& f)
{
    return f.log.lines().filter(QStringLiteral("📧"));
}

} // namespace

class Identity : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void identityIsReadAtDiscovery()
    {
        LinkFixture f;
        auto chair = f.central->makeChair();
        chair->values[serialNumberUUID] = QStringLiteral("VP-Ø-0042").toUtf8();
        chair->values[firmwareRevisionUUID] = QStringLiteral("1.4.2-β").toUtf8();
        chair->values[softwareRevisionUUID] = bytes({0x32, 0xff, 0xfe}); // not UTF-8
        f.connectChair(chair);
        BluetoothManager& m = *f.manager;
        QCOMPARE(m.serialNumber(), QStringLiteral("VP-Ø-0042"));
        QCOMPARE(m.firmwareVersion(), QStringLiteral("1.4.2-β"));
        QCOMPARE(m.softwareVersion(), QString());

        // Gone with the link, even while a reconnect is on its way; read again after it.
        f.central->dropLink(chair.get());
        f.central->flush();
        QCOMPARE(f.state(), ConnectionState::connecting);
        QCOMPARE(m.serialNumber(), QString());
        QCOMPARE(m.firmwareVersion(), QString());
        chair->values[firmwareRevisionUUID] = bytes({0x31, 0xe2, 0x82}); // cut inside a character
        chair->values[softwareRevisionUUID] = QByteArrayLiteral("2.1.0");
        f.advance(2s);
        QCOMPARE(m.serialNumber(), QStringLiteral("VP-Ø-0042"));
        QCOMPARE(m.firmwareVersion(), QString());
        QCOMPARE(m.softwareVersion(), QStringLiteral("2.1.0"));
    }

    void noRealEmailMeansNoSync_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("none stored") << QString();
        QTest::newRow("maker's placeholder") << Settings::placeholderAdminEmail;
    }

    void noRealEmailMeansNoSync()
    {
        QFETCH(QString, stored);
        LinkFixture f(CentralPower::On, stored);
        f.connectChair();
        QVERIFY(f.central->writesTo(userNameUUID).isEmpty());
        QCOMPARE(mailLines(f), QStringList{skippedLine});
    }

    void registeredEmailGoesToTheChairOncePerLink()
    {
        const QString email = QStringLiteral("zoë.müller@example.ch");
        LinkFixture f(CentralPower::On, email);
        auto chair = f.connectChair();
        QCOMPARE(f.central->writesTo(userNameUUID), QList<QByteArray>{email.toUtf8()});
        QCOMPARE(mailLines(f), QStringList{"📧 Synced user email to chair: " + email});

        // A new address reaches the chair at the next link, not before.
        const QString changed = QStringLiteral("zoe@example.ch");
        f.settings.setAnalyticsUserEmail(changed);
        f.advance(10s);
        QCOMPARE(f.central->writesTo(userNameUUID).size(), 1);
        f.central->dropLink(chair.get());
        f.advance(2s);
        QCOMPARE(f.central->writesTo(userNameUUID),
                 (QList<QByteArray>{email.toUtf8(), changed.toUtf8()}));
        QCOMPARE(mailLines(f).size(), 2);
    }

    void chairWithoutConfigurationService()
    {
        LinkFixture f(CentralPower::On, QStringLiteral("user@example.com"));
        auto chair = f.central->makeChair();
        chair->values[serialNumberUUID] = QByteArrayLiteral("VP-1");
        chair->values[firmwareRevisionUUID] = QByteArrayLiteral("1.0");
        chair->removeService(configServiceUUID);
        f.connectChair(chair);
        QCOMPARE(f.state(), ConnectionState::ready); // it still connects
        QCOMPARE(f.manager->serialNumber(), QString());
        QCOMPARE(f.manager->firmwareVersion(), QStringLiteral("1.0"));
        QVERIFY(f.central->writesTo(userNameUUID).isEmpty());
        QVERIFY(mailLines(f).isEmpty());
    }
};

QTEST_GUILESS_MAIN(Identity)
#include "tst_identity.moc"
