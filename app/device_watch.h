// Arrival and removal of block devices, coalesced.
//
// Inserting a card produces a burst of events (the disk, each partition,
// then the automounter's changes), and listing disks probes every device, so
// the disk list is refreshed once, 5 seconds after the last event of a
// burst: each event restarts its timer. Arrivals and removals have separate
// timers because they refresh differently.
//
// CDeviceWatch reads the events from a libudev monitor on the "block"
// subsystem; tests drive notifyArrival()/notifyRemoval() directly.
#pragma once

#include <QObject>
#include <QTimer>

struct udev;
struct udev_monitor;
class QSocketNotifier;

class CDeviceWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSettleMs = 5000;

    // `listen` false builds the timers only (no udev monitor).
    explicit CDeviceWatch(bool listen, QObject *parent = nullptr);
    ~CDeviceWatch() override;

    void setSettleInterval(int ms);
    void notifyArrival() { m_arrival.start(); }
    void notifyRemoval() { m_removal.start(); }

signals:
    // A burst of events has settled.
    void disksArrived();
    void disksRemoved();

private:
    void readEvents();

    QTimer m_arrival;
    QTimer m_removal;
    udev *m_udev = nullptr;
    udev_monitor *m_monitor = nullptr;
    QSocketNotifier *m_notifier = nullptr;
};
