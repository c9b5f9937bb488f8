#pragma once

#include <QObject>

class QSocketNotifier;
class QFile;

namespace platform::qt_edition {

// Tells when a medium arrived or was removed: block device events from udev and changes
// of the mount table (/proc/self/mounts), both through QSocketNotifier.
class MediaWatcher : public QObject
{
    Q_OBJECT
public:
    explicit MediaWatcher(QObject* parent = nullptr);
    ~MediaWatcher() override;

signals:
    void mediaChanged();

private:
    struct Private;
    Private* d;
};

} // namespace platform::qt_edition
