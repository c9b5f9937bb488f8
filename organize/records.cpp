#include "organize/records.h"

#include "organize/system_calls.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

namespace organize {

TwoFolderLock::TwoFolderLock(const std::string& a, const std::string& b)
{
    if (SameFolder(a, b)) {
        m_first.emplace(a);
        return;
    }
    const bool aFirst = a < b;
    m_first.emplace(aFirst ? a : b);
    m_second.emplace(aFirst ? b : a);
}

RecordCarrier::RecordCarrier(const std::string& targetFolder, Carry how)
    : m_targetFolder(targetFolder), m_how(how)
{}

catalog::RecordFolder& RecordCarrier::index(const std::string& folder)
{
    auto& slot = m_indexes[folder];
    if (!slot) {
        slot = std::make_unique<catalog::RecordFolder>(folder);
    }
    return *slot;
}

RecordCarrier::Outcome RecordCarrier::carry(const std::string& sourceFolder,
                                            const std::string& nameGbk,
                                            const std::string& targetNameGbk,
                                            const std::function<bool()>& replace)
{
    const auto& kinds = catalog::CdRecordKinds();
    std::optional<TwoFolderLock> lock(std::in_place, sourceFolder, m_targetFolder);
    catalog::RecordFolder& source = index(sourceFolder);
    catalog::RecordFolder& target = index(m_targetFolder);
    std::vector<std::string> files = catalog::TravellingFiles(source, nameGbk, kinds);
    if (files.front().empty()) {
        return Outcome::NoListing;
    }
    std::optional<std::string> replaced = target.recordNamed(targetNameGbk);
    if (replaced) {
        // Nobody else may wait on the boxes while the user thinks it over.
        lock.reset();
        if (!replace()) {
            return Outcome::Declined;
        }
        lock.emplace(sourceFolder, m_targetFolder);
        files = catalog::TravellingFiles(source, nameGbk, kinds);
        if (files.front().empty()) {
            return Outcome::NoListing;
        }
        replaced = target.recordNamed(targetNameGbk);
    }
    std::vector<catalog::RecordTransfer::File> carried;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (!files[i].empty()) {
            carried.push_back(
                {files[i], targetNameGbk + std::string(catalog::CopiedExt(kinds[i]))});
        }
    }
    // Replaced whole: the old record's files and what a killed scan left under the new name.
    std::vector<std::string> old = catalog::RecordFilesOf(target, targetNameGbk, kinds);
    if (replaced && *replaced != targetNameGbk) {
        for (auto& name : catalog::RecordFilesOf(target, *replaced, kinds)) {
            old.push_back(std::move(name));
        }
    }
    catalog::RecordTransfer transfer(m_targetFolder, m_how);
    const bool staged = transfer.add(sourceFolder, carried, targetNameGbk, old);
    m_counts.filesNotCopied += transfer.filesNotCopied();
    if (!staged) {
        m_lastError = transfer.lastError();
        return Outcome::Failed;
    }
    const int failures = transfer.commit();
    m_counts.filesNotCopied += failures;
    if (transfer.recordsNotCarried() > 0) {
        m_lastError = transfer.lastError();
        return Outcome::Failed;
    }
    if (failures > 0) {
        m_lastError = errno != 0 ? errno : EIO;
    }
    return Outcome::Carried;
}

void RemoveRecords(const std::string& folder, const std::vector<std::string>& namesGbk,
                   const std::vector<catalog::RecordKind>& kinds, Removal how,
                   RemovalCounts& counts)
{
    const catalog::FolderLock lock(folder);
    catalog::RecordFolder listed(folder);
    catalog::RecordRemoval removal(listed);
    for (const auto& name : namesGbk) {
        removal.add(name, kinds);
    }
    counts.filesNotDeleted += removal.commit([&](const std::string& path) {
        if (how != Removal::Trash) {
            return false;
        }
        const Trashing trashing = MoveToTrash(path);
        counts.trashed = counts.trashed || trashing.result == TrashResult::Trashed;
        if (trashing.result == TrashResult::Failed) {
            ++counts.filesNotDeleted; // neither trashed nor deleted: it stays
        }
        return trashing.result != TrashResult::NotSupported;
    });
}

bool SameFolder(const std::string& a, const std::string& b)
{
    struct stat first = {};
    struct stat second = {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace organize
