#include "platform/qt/media_watcher.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

namespace platform::qt_edition {

struct MediaWatcher::Private
{
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    QSocketNotifier* deviceNotifier = nullptr;
    int mountsFd = -1;
    QSocketNotifier* mountsNotifier = nullptr;

    // Devices come and go through udev; where it cannot be reached (containers) the
    // mount table alone still tells when a disc is mounted or unmounted.
    void startDeviceMonitor()
    {
        context = udev_new();
        if (context == nullptr) {
            return;
        }
        monitor = udev_monitor_new_from_netlink(context, "udev");
        if (monitor == nullptr ||
            udev_monitor_filter_add_match_subsystem_devtype(monitor, "block", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor) < 0 || udev_monitor_get_fd(monitor) < 0) {
            stopDeviceMonitor();
        }
    }

    void stopDeviceMonitor()
    {
        if (monitor != nullptr) {
            udev_monitor_unref(monitor);
            monitor = nullptr;
        }
        if (context != nullptr) {
            udev_unref(context);
            context = nullptr;
        }
    }

    void drainDeviceEvents()
    {
        while (udev_device* device = udev_monitor_receive_device(monitor)) {
            udev_device_unref(device);
        }
    }
};

MediaWatcher::MediaWatcher(QObject* parent) : QObject(parent), d(new Private)
{
    d->startDeviceMonitor();
    if (d->monitor != nullptr) {
        d->deviceNotifier = new QSocketNotifier(
            static_cast<qintptr>(udev_monitor_get_fd(d->monitor)), QSocketNotifier::Read, this);
        connect(d->deviceNotifier, &QSocketNotifier::activated, this, [this] {
            d->drainDeviceEvents();
            emit mediaChanged();
        });
    }

    d->mountsFd = ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    if (d->mountsFd >= 0) {
        // The kernel marks the table with POLLPRI when it changes; the poll that reports
        // the mark clears it.
        d->mountsNotifier = new QSocketNotifier(static_cast<qintptr>(d->mountsFd),
                                                QSocketNotifier::Exception, this);
        connect(d->mountsNotifier, &QSocketNotifier::activated, this, &MediaWatcher::mediaChanged);
    }
}

MediaWatcher::~MediaWatcher()
{
    // The notifiers go before the descriptors they watch.
    delete d->deviceNotifier;
    delete d->mountsNotifier;
    if (d->mountsFd >= 0) {
        ::close(d->mountsFd);
    }
    d->stopDeviceMonitor();
    delete d;
}

} // namespace platform::qt_edition
