// The two XML catalogues: the flat item report and the gzip packed tree of folders.

#include "migrate/input.h"
#include "migrate/readers.h"
#include "migrate/xml.h"

#include "catalog/text.h"

#include <algorithm>
#include <array>

namespace migrate {
namespace {

// Element and attribute names are ASCII: compared without regard to case, in place.
bool sameName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return (x >= 'a' && x <= 'z' ? x - 32 : x) == (y >= 'a' && y <= 'z' ? y - 32 : y);
    });
}

// <REPORT> holding flat <ITEM ItemType="Disk|Folder|File"> elements, whose child elements
// are the columns the user chose.
class WhereIsItXml : public XmlReader
{
public:
    WhereIsItXml(const DiscSink& sink, ReadNotes& notes) : m_discs(sink), m_notes(notes) {}

    void finish()
    {
        if (!m_sawReport) {
            throw ReadError{"文件中没有 REPORT 元素, 不是这种格式的报表"};
        }
        m_discs.finish();
    }

protected:
    void start(std::string_view name, const char** attrs) override
    {
        if (!m_sawReport) {
            if (!sameName(name, "REPORT")) {
                fail("文件的根元素不是 REPORT, 不是这种格式的报表");
            }
            m_sawReport = true;
            return;
        }
        if (sameName(name, "ITEM")) {
            m_inItem = true;
            m_type = attribute(attrs, "ItemType");
            for (std::string& field : m_fields) {
                field.clear();
            }
            return;
        }
        m_field = m_inItem ? fieldOf(name) : -1;
    }

    void end(std::string_view name) override
    {
        if (m_inItem && sameName(name, "ITEM")) {
            m_inItem = false;
            item();
        }
        m_field = -1;
    }

    bool collecting() const override { return m_field >= 0; }
    void text(std::string_view bytes) override
    {
        collect(m_fields[static_cast<std::size_t>(m_field)], bytes);
    }

private:
    enum Field { Name, Ext, Size, Date, Time, DiskName, DiskNum, DiskLocation, Path, Desc, Count };

    static int fieldOf(std::string_view name)
    {
        static constexpr std::array<std::string_view, Count + 1> names = {
            "NAME",     "EXT",           "SIZE", "DATE",        "TIME", "DISK_NAME",
            "DISK_NUM", "DISK_LOCATION", "PATH", "DESCRIPTION", "DESC"};
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (sameName(name, names[i])) {
                return static_cast<int>(std::min<std::size_t>(i, Desc));
            }
        }
        return -1;
    }

    std::string field(Field f) const
    {
        return decodeText(catalog::trimBlanks(m_fields[static_cast<std::size_t>(f)]));
    }

    void takeInfo(Disc& disc, bool disk) const
    {
        if (disc.info.numberUtf8.empty() && !m_fields[DiskNum].empty()) {
            disc.info.numberUtf8 = field(DiskNum);
        }
        if (disc.info.locationUtf8.empty() && !m_fields[DiskLocation].empty()) {
            disc.info.locationUtf8 = field(DiskLocation);
        }
        if (disk && !disc.info.catalogued) {
            disc.info.catalogued = parseDate(field(Date) + " " + field(Time));
        }
    }

    void item()
    {
        const std::string name = JoinExtension(field(Name), field(Ext));
        if (sameName(m_type, "Disk")) {
            Disc& disc = m_discs.start(name);
            disc.descriptionUtf8 = decodeText(m_fields[Desc]);
            takeInfo(disc, true);
            return;
        }
        const bool folder = sameName(m_type, "Folder");
        if (!folder && !sameName(m_type, "File")) {
            m_notes.problemsUtf8.push_back("未知的项目种类 \"" + decodeText(m_type) +
                                           "\", 已略去: " + name);
            return;
        }
        const std::string diskName = field(DiskName);
        if (!diskName.empty() &&
            (m_discs.current() == nullptr || m_discs.current()->nameUtf8 != diskName)) {
            m_discs.start(diskName);
        }
        Disc* disc = m_discs.current();
        if (disc == nullptr) {
            m_notes.problemsUtf8.push_back("不属于任何光盘的项目已略去: " + name);
            return;
        }
        takeInfo(*disc, false);
        if (!m_fields[Size].empty() || !m_fields[Date].empty() || !m_fields[Time].empty()) {
            m_notes.sizesOrDates = true;
        }
        std::vector<std::string> path = splitPath(field(Path));
        path.push_back(name);
        AddItem(*disc, path, folder, decodeText(m_fields[Desc]), m_notes);
    }

    DiscStream m_discs;
    ReadNotes& m_notes;
    bool m_sawReport = false;
    bool m_inItem = false;
    int m_field = -1;
    std::string m_type;
    std::array<std::string, Count> m_fields;
};

// <catalog> with <media>, nested <directory> and <file>, each may hold <comment>.
class CdcatXml : public XmlReader
{
public:
    CdcatXml(const DiscSink& sink, ReadNotes& notes) : m_discs(sink), m_notes(notes) {}

    void finish()
    {
        if (!m_sawCatalog) {
            throw ReadError{"文件中没有 catalog 元素, 不是这种格式的目录文件"};
        }
        m_discs.finish();
    }

protected:
    void start(std::string_view name, const char** attrs) override
    {
        if (m_skipped > 0) {
            ++m_skipped;
            return;
        }
        if (!m_sawCatalog) {
            if (name != "catalog") {
                fail("文件的根元素不是 catalog, 不是这种格式的目录文件");
            }
            m_sawCatalog = true;
            return;
        }
        if (name == "media") {
            media(attrs);
        } else if ((name == "directory" || name == "file") && m_discs.current() != nullptr) {
            const bool folder = name == "directory";
            m_path.push_back(decodeText(attribute(attrs, "name")));
            m_open.push_back(folder ? 'd' : 'f');
            AddItem(*m_discs.current(), m_path, folder, {}, m_notes);
            if (!attribute(attrs, "size").empty() || !attribute(attrs, "time").empty()) {
                m_notes.sizesOrDates = true;
            }
        } else if (name == "comment") {
            m_comment.clear();
            m_inComment = true;
        } else {
            m_skipped = 1; // category, borrow, tags, thumbnails, archive contents...
        }
    }

    void end(std::string_view name) override
    {
        if (m_skipped > 0) {
            --m_skipped;
            return;
        }
        if (name == "comment") {
            m_inComment = false;
            comment();
        } else if ((name == "directory" || name == "file") && !m_open.empty()) {
            m_open.pop_back();
            m_path.pop_back();
        } else if (name == "media") {
            m_discs.finish();
        }
    }

    bool collecting() const override { return m_inComment; }
    void text(std::string_view bytes) override { collect(m_comment, bytes); }

private:
    void media(const char** attrs)
    {
        Disc& disc = m_discs.start(decodeText(catalog::trimBlanks(attribute(attrs, "name"))));
        disc.info.numberUtf8 = decodeText(attribute(attrs, "number"));
        disc.info.ownerUtf8 = decodeText(attribute(attrs, "owner"));
        disc.info.kindUtf8 = decodeText(attribute(attrs, "type"));
        disc.info.catalogued = parseDate(attribute(attrs, "time"));
        m_path.clear();
        m_open.clear();
    }

    void comment()
    {
        Disc* disc = m_discs.current();
        if (disc == nullptr) {
            return;
        }
        const std::string text = decodeText(m_comment);
        if (m_open.empty()) {
            disc->descriptionUtf8 = text;
        } else {
            AddItem(*disc, m_path, m_open.back() == 'd', text, m_notes);
        }
    }

    DiscStream m_discs;
    ReadNotes& m_notes;
    bool m_sawCatalog = false;
    int m_skipped = 0;
    bool m_inComment = false;
    std::string m_comment;
    std::vector<std::string> m_path;
    std::vector<char> m_open; // 'd' or 'f' for each element of m_path
};

template <typename Reader> void readXml(Input& input, const DiscSink& sink, ReadNotes& notes)
{
    Reader reader(sink, notes);
    reader.parse(input);
    reader.finish();
    if (reader.textCut()) {
        notes.problemsUtf8.push_back("超过 1MB 的说明文字已截断");
    }
}

} // namespace

void ReadWhereIsItXml(Input& input, const DiscSink& sink, ReadNotes& notes)
{
    readXml<WhereIsItXml>(input, sink, notes);
}

void ReadCdcat(Input& input, const DiscSink& sink, ReadNotes& notes)
{
    readXml<CdcatXml>(input, sink, notes);
}

} // namespace migrate
