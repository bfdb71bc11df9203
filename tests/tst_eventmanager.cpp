#include "QEventManager.h"

#include <QtTest>

#include <memory>

class Emitter : public QObject
{
    Q_OBJECT
public:
    int received = 0;
signals:
    void time_changed(quint32 seconds);
public slots:
    void onTimeChanged(quint32 seconds) { received += int(seconds); }
};

class TestEventManager : public QObject
{
    Q_OBJECT

private slots:
    void firstRegistrationWins()
    {
        QEventManager* registry = QEventManager::instance();
        QCOMPARE(registry, QEventManager::instance());
        Emitter first;
        Emitter second;
        Emitter receiver;
        QVERIFY(registry->registerObject(MediaManager, &first));
        QVERIFY(!registry->registerObject(MediaManager, &second));
        QCOMPARE(registry->object(MediaManager), &first);

        QVERIFY(registry->connectSignal(MediaManager, SIGNAL(time_changed(quint32)), &receiver,
                                        SLOT(onTimeChanged(quint32))));
        emit second.time_changed(5);
        QCOMPARE(receiver.received, 0);
        emit first.time_changed(7);
        QCOMPARE(receiver.received, 7);

        // The mirror case drives a slot of the registered object.
        QVERIFY(registry->connectSlot(&receiver, SIGNAL(time_changed(quint32)), MediaManager,
                                      SLOT(onTimeChanged(quint32))));
        emit receiver.time_changed(3);
        QCOMPARE(first.received, 3);
        QCOMPARE(second.received, 0);
    }

    void unregisteredIdConnectsNothing()
    {
        QEventManager* registry = QEventManager::instance();
        Emitter receiver;
        QVERIFY(!registry->connectSignal(QualityItem, SIGNAL(time_changed(quint32)), &receiver,
                                         SLOT(onTimeChanged(quint32))));
        QVERIFY(!registry->connectSlot(&receiver, SIGNAL(time_changed(quint32)), FormatItem,
                                       SLOT(onTimeChanged(quint32))));
        emit receiver.time_changed(4);
        QCOMPARE(receiver.received, 0);
        QVERIFY(!registry->registerObject(FormatItem, nullptr));
    }

    void connectSucceedsEvenWhenTheSignalIsUnknown()
    {
        QEventManager* registry = QEventManager::instance();
        Emitter item;
        Emitter receiver;
        QVERIFY(registry->registerObject(ModeItem, &item));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QObject::connect: No such signal.*"));
        QVERIFY(registry->connectSignal(ModeItem, SIGNAL(selected_camera()), &receiver,
                                        SLOT(onTimeChanged(quint32))));
    }

    void destroyedObjectIsNeverConnected()
    {
        QEventManager* registry = QEventManager::instance();
        Emitter receiver;
        {
            auto gone = std::make_unique<Emitter>();
            QVERIFY(registry->registerObject(KeyManager, gone.get()));
        }
        QCOMPARE(registry->object(KeyManager), nullptr);
        QVERIFY(!registry->connectSignal(KeyManager, SIGNAL(time_changed(quint32)), &receiver,
                                         SLOT(onTimeChanged(quint32))));
        // A recreated object can take the identifier again.
        Emitter again;
        QVERIFY(registry->registerObject(KeyManager, &again));
        QVERIFY(registry->connectSignal(KeyManager, SIGNAL(time_changed(quint32)), &receiver,
                                        SLOT(onTimeChanged(quint32))));
        emit again.time_changed(2);
        QCOMPARE(receiver.received, 2);
    }
};

QTEST_GUILESS_MAIN(TestEventManager)
#include "tst_eventmanager.moc"
