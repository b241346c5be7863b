// Eight hours with a chair on virtual time: it reports every second, automatic mode comes and
// goes, WiFi drops out, the chair sleeps and wakes, the computer wakes, the link drops and the
// user connects again, every hour the same. Whatever the link keeps (clocks, delays, answers
// owed, lists, signal connections, children) must be the same at the same point of every hour:
// one thing left behind per hour is a leak that a day of use turns into a slow program.
#include "LinkFixture.h"

#include <QMetaMethod>
#include <QtTest>

#include <map>

using namespace ChairProfile;
using namespace std::chrono_literals;

namespace {

// The chair as its firmware behaves, one step a second: legs and odometers, automatic mode
// with its pattern, period and countdown, sleep, and the networks it lists.
struct PlayedChair {
    explicit PlayedChair(LinkFixture& f)
        : f(f)
        , p(f.central->makeChair())
    {
        p->values[serialNumberUUID] = "VP-0042";
        p->values[wifiSSIDListCounterUUID] = bytes({3});
        p->onWrite = [this](const QBluetoothUuid& c, const QByteArray& v) { written(c, v); };
        sync();
    }

    void written(const QBluetoothUuid& c, const QByteArray& v)
    {
        if (v.isEmpty())
            return;
        if (c == autoModeUUID && isAsleep) {
            isAsleep = false; // the first switch only wakes it
        } else if (c == autoModeUUID) {
            setAutomatic(v[0] != 0);
        } else if (c == autoPeriodUUID && v.size() >= 4) {
            periodSeconds = qFromLittleEndian<quint32>(v.constData());
        } else if (c == autoModeSelectorUUID) {
            pattern = quint8(v[0]);
        } else if (c == chairToggleUUID) {
            move(v[0] == 0, v[0] != 0);
        } else if (c == wifiSSIDListCounterUUID) {
            static const QList<QByteArray> networks{"Office_5G", "Home_Network", "Cafe_WiFi"};
            p->values[wifiSSIDSingleUUID] = networks.value(quint8(v[0]));
        }
        sync();
    }
    void setAutomatic(bool on)
    {
        automatic = on;
        countdown = on ? periodSeconds : 0;
        sync();
    }
    void move(bool left, bool right)
    {
        leftUp ^= left;
        rightUp ^= right;
        leftOdometer += left;
        rightOdometer += right;
    }
    // One second of the chair: the transition when the countdown runs out, then its report.
    void tick()
    {
        if (automatic && --countdown == 0) {
            ++step;
            const bool both = pattern == 0 || (pattern == 2 && step % 3 == 0);
            move(both || step % 2 == 0, both || step % 2 == 1);
            countdown = periodSeconds;
        }
        sync();
        if (!isAsleep && !isQuiet && f.central->isLinked(p.get()))
            f.report(*p, chairStateUUID, p->values[chairStateUUID]);
    }
    void sleep()
    {
        isAsleep = true;
        f.report(*p, chairStateUUID, bytes({!leftUp, !rightUp, 0x03}));
    }
    void setOnline(bool online)
    {
        p->values[wifiStatusUUID] = bytes({online ? 0x04 : 0x05});
        f.report(*p, wifiStatusUUID, p->values[wifiStatusUUID]);
    }
    void sync()
    {
        p->values[chairStateUUID] = bytes({!leftUp, !rightUp, automatic ? 0x01 : 0x00});
        p->values[timeToNextTransitionUUID] = floatBytes(float(countdown));
        p->values[autoModeUUID] = bytes({automatic});
        p->values[autoPeriodUUID] = u32Bytes(periodSeconds);
        p->values[autoModeSelectorUUID] = bytes({pattern});
        p->values[leftOdometerUUID] = u32Bytes(leftOdometer);
        p->values[rightOdometerUUID] = u32Bytes(rightOdometer);
    }

    LinkFixture& f;
    QSharedPointer<FakePeripheral> p;
    bool leftUp = true, rightUp = true, automatic = false, isAsleep = false, isQuiet = false;
    quint32 leftOdometer = 100, rightOdometer = 100, periodSeconds = 300, countdown = 0;
    int pattern = 0, step = 0;
};

// QObject::receivers is protected; a pointer to it, taken in a subclass, reads any object's.
struct Receivers : QObject {
    static int of(const QObject* object)
    {
        int n = 0;
        const QMetaObject* meta = object->metaObject();
        for (int i = 0; i < meta->methodCount(); ++i) {
            const QMetaMethod m = meta->method(i);
            if (m.methodType() == QMetaMethod::Signal)
                n += (object->*(&Receivers::receivers))(("2" + m.methodSignature()).constData());
        }
        return n;
    }
};

// What the link holds at one point of the hour, and what it did during the hour.
struct Sample {
    std::map<QString, int> held;
    std::map<QString, int> perHour;
    bool operator==(const Sample&) const = default;
};

QString describe(const Sample& s)
{
    QStringList parts;
    for (const auto* map : {&s.held, &s.perHour})
        for (const auto& [key, value] : *map)
            parts << QStringLiteral("%1=%2").arg(key).arg(value);
    return parts.join(QLatin1Char(' '));
}

} // namespace

class LongSessionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void eightHoursLeaveNothingBehind()
    {
        LinkFixture f;
        PlayedChair chair(f);
        BluetoothManager& m = *f.manager;
        const auto peer = f.central->makeChair(QStringLiteral("Velnora Pro 2"));
        const auto stranger = f.central->makePeripheral(QStringLiteral("Headphones"));
        f.connectChair(chair.p);
        QCOMPARE(f.state(), ConnectionState::ready);

        auto holds = [&] {
            return std::map<QString, int>{
                {"timers running", f.scheduler.activeTimers()},
                {"timer handles", f.scheduler.heldTimers()},
                {"delays", f.scheduler.pendingDelays()},
                {"answers owed", f.central->pendingAnswers()},
                {"chairs listed", int(m.discoveredDevices().size())},
                {"networks listed", int(m.availableNetworks().size())},
                {"connections", Receivers::of(&m) + Receivers::of(chair.p.get()) +
                                    Receivers::of(f.central) + Receivers::of(&f.wake)},
                {"children", int(m.children().size() + f.central->children().size())},
                {"state", int(f.state())},
            };
        };
        std::vector<Sample> midHour, endOfHour;
        int mostClocks = 0;

        for (int hour = 0; hour < 8; ++hour) {
            f.central->clearCalls();
            f.log.clear();
            for (int s = 0; s < 3600; ++s) {
                switch (s) {
                case 0: // the user picks a pattern and a period, and starts
                    m.setAutoModePattern(hour % 3);
                    m.setAutoPeriodMinutes(hour % 2 ? 1.0 : 0.5);
                    m.writeAutoPeriod();
                    m.setAutoMode(true);
                    break;
                case 300: // and drags the period slider mid-way
                    m.setIsEditingPeriod(true);
                    m.setAutoPeriodMinutes(2.0);
                    m.setIsEditingPeriod(false);
                    m.writeAutoPeriod();
                    break;
                case 600: m.setAutoMode(false); break;
                case 660:
                case 670: m.toggleLeg(s == 670); break;
                case 900: chair.setAutomatic(true); break;   // its own button
                case 1200: chair.setAutomatic(false); break; // and off again
                case 1500:
                case 1800: chair.setOnline(false); break; // briefly, then past the grace period
                case 1620:
                case 2200: chair.setOnline(true); break;
                case 2400: chair.sleep(); break;
                case 2460: m.wakeChair(); break;
                case 2520: f.wake.resume(); break; // the computer wakes
                case 2580: f.central->dropLink(chair.p.get()); break;
                case 2640: m.disconnect(); break;
                case 2650: m.startScanning(); break;
                case 2670: m.connect(chair.p->identifier()); break;
                case 2700: chair.isQuiet = true; break; // silent past the sleep timeout
                case 3500: chair.isQuiet = false; break;
                }
                if (s >= 2650 && s < 2670) {
                    for (const auto& seen : {chair.p, peer, stranger})
                        f.central->advertise(seen, seen->name(), -40 - s % 30);
                }
                chair.tick();
                f.advance(1s);
                mostClocks =
                    std::max(mostClocks, f.scheduler.activeTimers() + f.scheduler.pendingDelays());
                if (s == 1000)
                    midHour.push_back({holds(), {}});
                if (s == 2199) // the setup screen listed what the chair sees
                    QCOMPARE(m.availableNetworks().size(), 3);
            }
            std::map<QString, int> perHour{{"lines printed", int(f.log.lines().size())}};
            for (const FakeCall& call : f.central->calls())
                ++perHour[QStringLiteral("call %1").arg(int(call.kind))];
            endOfHour.push_back({holds(), perHour});
            // The hour did what it says.
            QCOMPARE(f.state(), ConnectionState::ready);
            QVERIFY(!m.chairIsAsleep());
            for (const char* event : {"🪑 Auto mode cancelled from chair hardware button",
                                      "📶 WiFi grace period expired", "🔄 Mac woke from sleep",
                                      "⚠️ Unexpected BLE disconnect"})
                QCOMPARE(f.log.lines().filter(QString::fromUtf8(event)).size(), 1);
            QVERIFY(f.central->readsOf(leftOdometerUUID) >= 50);
        }

        QVERIFY2(mostClocks <= 8, qPrintable(QString::number(mostClocks)));
        for (int hour = 2; hour < 8; ++hour) {
            QVERIFY2(midHour[hour] == midHour[1],
                     qPrintable(describe(midHour[hour]) + " after " + describe(midHour[1])));
            QVERIFY2(endOfHour[hour] == endOfHour[1],
                     qPrintable(describe(endOfHour[hour]) + " after " + describe(endOfHour[1])));
        }
        qInfo("each hour ends with %s", qPrintable(describe(endOfHour.back())));
    }
};

QTEST_GUILESS_MAIN(LongSessionTest)
#include "tst_long_session.moc"
