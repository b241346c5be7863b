#include "LinkFixture.h"
#include <QtTest>
class Smoke : public QObject { Q_OBJECT
private Q_SLOTS:
    void connects() { LinkFixture f; f.connectChair(); QCOMPARE(f.state(), ConnectionState::checkingWifi); }
};
QTEST_GUILESS_MAIN(Smoke)
#include "tst_smoke.moc"
