#include "output/output.h"

#include "catalog/record_set.h"
#include "catalog/box_tree.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/text.h"
#include "output/documents.h"

#include <cerrno>
#include <exception>
#include <stdexcept>

namespace output {
namespace {

// Errors that say the output folder takes no more files, whichever CD comes next: the
// walk ends there rather than failing every CD that is left.
bool folderRefusesOutput(int errorNumber)
{
    switch (errorNumber) {
    case ENOSPC:
    case EDQUOT:
    case EROFS:
    case EACCES:
    case EPERM:
    case ENOENT:
    case ENOTDIR:
    case EIO:
        return true;
    default:
        return false;
    }
}

class BatchWalk
{
public:
    BatchWalk(const std::string& outputFolder, BatchType type, const BatchHooks& hooks)
        : m_outputFolder(outputFolder), m_type(type), m_hooks(hooks),
          m_names(type == BatchType::Printer ? std::string() : outputFolder)
    {
    }

    // False when the walk was aborted.
    bool walk(const std::string& folder)
    {
        if (!m_guard.enter(folder)) {
            return true;
        }
        std::vector<catalog::DirEntry> entries;
        catalog::ListFolder(folder, entries);
        for (const auto& entry : entries) {
            if (m_hooks.aborted && m_hooks.aborted()) {
                m_result.aborted = true;
                return false;
            }
            if (entry.isFolder) {
                // The folders the progress maximum counts (CountBoxEntries): the search
                // results folder holds no records in any case.
                if (catalog::IsBoxFolder(entry) && !walk(catalog::ChildPath(folder, entry.name))) {
                    return false;
                }
                continue;
            }
            if (catalog::RecordKindOf(entry.name) == catalog::RecordKind::Cdr) {
                outputCd(folder + entry.name, entry.name.substr(0, entry.name.size() - 4));
            }
        }
        m_guard.leave();
        return true;
    }

    BatchResult result() const { return m_result; }

private:
    void outputCd(const std::string& listingPath, const std::string& cdNameGbk)
    {
        if (m_hooks.starting) {
            m_hooks.starting(cdNameGbk);
        }
        std::string outputPath;
        try {
            if (m_type == BatchType::Printer) {
                if (!m_hooks.print) {
                    throw std::runtime_error("没有打印机");
                }
                m_hooks.print(listingPath, cdNameGbk);
            } else {
                outputPath = writeFile(listingPath, cdNameGbk);
            }
        } catch (const std::exception& error) {
            m_result.failed.push_back(cdNameGbk);
            if (m_hooks.failed) {
                m_hooks.failed(listingPath, error.what());
            }
            advanced();
            return;
        }
        ++m_result.written;
        if (m_hooks.written) {
            m_hooks.written(listingPath, outputPath);
        }
        advanced();
    }

    void advanced()
    {
        if (m_hooks.advanced) {
            m_hooks.advanced();
        }
    }

    // Writes one CD and returns the path written. An error of the listing, or of this one
    // file, is the CD's failure; an error of the output folder ends the walk.
    std::string writeFile(const std::string& listingPath, const std::string& cdNameGbk)
    {
        const bool html = m_type == BatchType::Html;
        const std::string listing = catalog::ReadWholeFile(listingPath);
        const std::size_t size = html ? detail::BuildTreeHtml(listing, cdNameGbk, m_buffer)
                                      : detail::BuildTreeText(listing, m_buffer);
        const Style style = html ? Style::Html : Style::Text;
        const std::string outputPath =
            m_outputFolder + m_names.claim(catalog::gbkToUtf8(cdNameGbk), style) + (html ? ".Htm" : ".Txt");
        try {
            catalog::WriteFileAtomically(outputPath, std::string_view(m_buffer.data(), size),
                                         {.sweepStale = false, .flush = false});
        } catch (const catalog::FileError& error) {
            if (folderRefusesOutput(error.errorNumber())) {
                throw FolderError{error};
            }
            throw;
        }
        return outputPath;
    }

    // Carries a FileError of the output folder past the per-CD handler.
    struct FolderError
    {
        catalog::FileError error;
    };

public:
    static BatchResult run(const std::string& boxFolder, const std::string& outputFolder,
                           BatchType type, const BatchHooks& hooks)
    {
        BatchWalk batch(outputFolder, type, hooks);
        try {
            batch.walk(boxFolder);
        } catch (const FolderError& folderError) {
            throw folderError.error;
        }
        return batch.result();
    }

private:
    const std::string& m_outputFolder;
    BatchType m_type;
    const BatchHooks& m_hooks;
    detail::TakenNames m_names;
    catalog::FolderWalkGuard m_guard;
    BatchResult m_result;
    // Kept from CD to CD, so its memory is reused.
    std::string m_buffer;
};

} // namespace

BatchResult OutputBoxTree(const std::string& boxFolder, const std::string& outputFolder,
                          BatchType type, const BatchHooks& hooks)
{
    return BatchWalk::run(boxFolder, outputFolder, type, hooks);
}

} // namespace output
