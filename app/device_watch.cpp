#include "device_watch.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cstring>

CDeviceWatch::CDeviceWatch(bool listen, QObject *parent)
    : QObject(parent)
{
    for (QTimer *timer : {&m_arrival, &m_removal}) {
        timer->setSingleShot(true);
        timer->setInterval(kSettleMs);
    }
    connect(&m_arrival, &QTimer::timeout, this, &CDeviceWatch::disksArrived);
    connect(&m_removal, &QTimer::timeout, this, &CDeviceWatch::disksRemoved);
    if (!listen)
        return;
    // Without a monitor the list is simply not refreshed by itself; the
    // program stays usable, so a failure here is not reported.
    m_udev = udev_new();
    if (m_udev == nullptr)
        return;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (m_monitor == nullptr
        || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "block", nullptr) < 0
        || udev_monitor_enable_receiving(m_monitor) < 0)
        return;
    m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CDeviceWatch::readEvents);
}

CDeviceWatch::~CDeviceWatch()
{
    delete m_notifier;
    if (m_monitor != nullptr)
        udev_monitor_unref(m_monitor);
    if (m_udev != nullptr)
        udev_unref(m_udev);
}

void CDeviceWatch::setSettleInterval(int ms)
{
    m_arrival.setInterval(ms);
    m_removal.setInterval(ms);
}

void CDeviceWatch::readEvents()
{
    while (udev_device *device = udev_monitor_receive_device(m_monitor)) {
        const char *action = udev_device_get_action(device);
        const bool add = action != nullptr && std::strcmp(action, "add") == 0;
        const bool remove = action != nullptr && std::strcmp(action, "remove") == 0;
        // A card put into or pulled from a reader that stays attached is a
        // "change" of the reader's disk: either may have happened.
        const bool change = action != nullptr && std::strcmp(action, "change") == 0;
        if (add || change)
            notifyArrival();
        if (remove || change)
            notifyRemoval();
        udev_device_unref(device);
    }
}
