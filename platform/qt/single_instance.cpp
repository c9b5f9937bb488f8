#include "platform/qt/single_instance.h"

#include <QDir>

namespace platform::qt_edition {

SingleInstance::SingleInstance(const QString& name)
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QDir::tempPath();
    }
    m_lock = std::make_unique<QLockFile>(QDir(folder).filePath(name + QStringLiteral(".lock")));
    // The running instance keeps its lock however long it runs; a lock left by a process
    // that is gone (QLockFile checks the PID) is taken over.
    m_lock->setStaleLockTime(0);
}

bool SingleInstance::acquire()
{
    if (m_lock->isLocked()) {
        return true;
    }
    return m_lock->tryLock(0);
}

} // namespace platform::qt_edition
