#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace platform::qt_edition {

// One running instance per user: a lock file "<name>.lock" in $XDG_RUNTIME_DIR (else the
// temporary folder). The lock of a crashed run is taken over.
class SingleInstance
{
public:
    explicit SingleInstance(const QString& name = QStringLiteral("Vellumark"));
    // False when another instance holds the lock.
    bool acquire();

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace platform::qt_edition
