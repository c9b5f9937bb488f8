#include "organize/records.h"

#include "catalog/library.h"
#include "catalog/text.h"
#include "organize/system_calls.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

namespace organize {
namespace {

std::string lowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

// The spelling of the extension that a reader takes first, as FindRecordFile does.
int spellingRank(std::string_view ext, const RecordFileKind& kind)
{
    if (ext == kind.written) {
        return 0;
    }
    if (ext == kind.upperExt) {
        return 1;
    }
    return ext == lowerAscii(kind.upperExt) ? 2 : 3;
}

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

const std::vector<RecordFileKind>& CdRecordFiles()
{
    static const std::vector<RecordFileKind> kinds{
        {".CDR", ".Cdr"}, {".TAG", ".Tag"}, {".MX", ".Mx"}, {".FMX", ".FMx"}, {".IFN", ".Ifn"}};
    return kinds;
}

const std::vector<RecordFileKind>& FoundFolderFiles()
{
    static const std::vector<RecordFileKind> kinds{
        {".FID", ".Fid"}, {".TAG", ".Tag"}, {".MX", ".mx"}, {".FMX", ".fmx"}, {".IFN", ".ifn"}};
    return kinds;
}

const std::vector<RecordFileKind>& FoundCdFiles()
{
    static const std::vector<RecordFileKind> kinds{{".TGT", ".Tgt"}};
    return kinds;
}

FolderIndex::FolderIndex(std::string folder) : m_folder(std::move(folder)) {}

void FolderIndex::listIfChanged()
{
    // Any entry added or removed changes the folder's time: an unchanged time means the
    // listing still holds.
    struct stat info = {};
    if (::stat(m_folder.c_str(), &info) != 0) {
        m_byUpperName.clear();
        m_listedAt = {-1, 0};
        return;
    }
    if (sameTime(info.st_mtim, m_listedAt)) {
        return;
    }
    m_listedAt = info.st_mtim;
    m_byUpperName.clear();
    std::vector<catalog::DirEntry> entries;
    catalog::ListFolder(m_folder, entries);
    for (auto& entry : entries) {
        if (entry.isRegular) {
            m_byUpperName[catalog::upperAscii(entry.name)].push_back(std::move(entry.name));
        }
    }
}

void FolderIndex::noteOwnChange()
{
    struct stat info = {};
    if (::stat(m_folder.c_str(), &info) == 0) {
        m_listedAt = info.st_mtim;
    }
}

std::vector<std::string> FolderIndex::files(std::string_view baseGbk, const RecordFileKind& kind,
                                            bool anyCaseBase)
{
    listIfChanged();
    std::string key(baseGbk);
    key += kind.upperExt;
    const auto found = m_byUpperName.find(catalog::upperAscii(key));
    if (found == m_byUpperName.end()) {
        return {};
    }
    std::vector<std::string> names;
    for (const auto& name : found->second) {
        if (anyCaseBase || (name.size() == key.size() && name.starts_with(baseGbk))) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        const int rankA = spellingRank(std::string_view(a).substr(baseGbk.size()), kind);
        const int rankB = spellingRank(std::string_view(b).substr(baseGbk.size()), kind);
        return rankA != rankB ? rankA < rankB : a < b;
    });
    return names;
}

bool FolderIndex::recordTaken(std::string_view nameGbk)
{
    const auto& kinds = CdRecordFiles();
    return std::any_of(kinds.begin(), kinds.end(), [&](const RecordFileKind& kind) {
        return kind.upperExt != ".TAG" && !files(nameGbk, kind, true).empty();
    });
}

void FolderIndex::added(const std::string& name)
{
    auto& names = m_byUpperName[catalog::upperAscii(name)];
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        names.push_back(name);
    }
    noteOwnChange();
}

void FolderIndex::removed(const std::string& name)
{
    auto& names = m_byUpperName[catalog::upperAscii(name)];
    names.erase(std::remove(names.begin(), names.end(), name), names.end());
    noteOwnChange();
}

RecordCarrier::RecordCarrier(const std::string& targetFolder, Carry how)
    : m_targetFolder(targetFolder), m_how(how)
{}

FolderIndex& RecordCarrier::index(const std::string& folder)
{
    return m_indexes.try_emplace(folder, folder).first->second;
}

RecordCarrier::Outcome RecordCarrier::carry(const std::string& sourceFolder,
                                            const std::string& nameGbk,
                                            const std::string& targetNameGbk,
                                            const std::function<bool()>& replace)
{
    FolderIndex& source = index(sourceFolder);
    if (source.files(nameGbk, CdRecordFiles().front(), false).empty()) {
        return Outcome::NoListing;
    }
    std::optional<catalog::FolderLock> lock(std::in_place, m_targetFolder);
    if (index(m_targetFolder).recordTaken(targetNameGbk)) {
        // Nobody else may wait on the box while the user thinks it over.
        lock.reset();
        if (!replace()) {
            return Outcome::Declined;
        }
        lock.emplace(m_targetFolder);
    }
    return transfer(source, nameGbk, targetNameGbk) ? Outcome::Carried : Outcome::Failed;
}

bool RecordCarrier::transfer(FolderIndex& source, const std::string& nameGbk,
                             const std::string& targetNameGbk)
{
    FolderIndex& target = index(m_targetFolder);
    std::vector<std::string> delivered;
    for (const auto& kind : CdRecordFiles()) {
        const std::vector<std::string> found = source.files(nameGbk, kind, false);
        if (found.empty()) {
            continue;
        }
        const std::string written = targetNameGbk + std::string(kind.written);
        if (deliver(source, source.folder() + found.front(), m_targetFolder + written)) {
            target.added(written);
            delivered.push_back(m_targetFolder + written);
        } else if (kind.upperExt == ".CDR") {
            return false; // without its listing the record stays where it is, untouched
        }
    }
    // The record at the target is replaced whole: no file of the old one (its description,
    // notes or information) and no second spelling of a file stays beside the new files.
    for (const auto& kind : CdRecordFiles()) {
        for (const auto& old : target.files(targetNameGbk, kind, true)) {
            const std::string path = m_targetFolder + old;
            const bool isNew =
                std::any_of(delivered.begin(), delivered.end(),
                            [&](const auto& file) { return file == path || catalog::SameFile(file, path); });
            if (!isNew && ::unlink(path.c_str()) == 0) {
                target.removed(old);
            }
        }
    }
    return true;
}

bool RecordCarrier::deliver(FolderIndex& source, const std::string& from, const std::string& to)
{
    if (m_how == Carry::Move) {
        if (RenamePath(from, to) == 0) {
            source.removed(from.substr(source.folder().size()));
            return true;
        }
        if (errno != EXDEV) {
            m_lastError = errno;
            ++m_counts.filesNotCopied;
            return false;
        }
    }
    const off_t size = CopyRegularFile(from, m_targetFolder, to);
    if (size < 0) {
        m_lastError = errno != 0 ? errno : EIO;
        ++m_counts.filesNotCopied;
        return false;
    }
    if (m_how == Carry::Move) {
        m_removals.add(from, to, size);
    }
    return true;
}

RecordCounts RecordCarrier::finish()
{
    m_counts.filesNotDeleted += m_removals.finish();
    return m_counts;
}

void RemoveRecordFiles(FolderIndex& folder, const std::string& nameGbk,
                       const std::vector<RecordFileKind>& kinds, Removal how, RemovalCounts& counts)
{
    for (const auto& kind : kinds) {
        for (const auto& name : folder.files(nameGbk, kind, false)) {
            const std::string path = folder.folder() + name;
            const Trashing trashing =
                how == Removal::Trash ? MoveToTrash(path) : Trashing{TrashResult::NotSupported, {}};
            bool gone = trashing.result == TrashResult::Trashed;
            counts.trashed = counts.trashed || gone;
            if (trashing.result == TrashResult::NotSupported) {
                gone = ::unlink(path.c_str()) == 0 || errno == ENOENT;
            }
            if (gone) {
                folder.removed(name);
            } else {
                ++counts.filesNotDeleted;
            }
        }
    }
}

bool SameFolder(const std::string& a, const std::string& b)
{
    struct stat first = {};
    struct stat second = {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace organize
