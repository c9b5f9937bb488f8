#include "ui/gbk_text.h"

#include "catalog/disk.h"
#include "catalog/text.h"

namespace ui {

QString fromGbk(std::string_view gbk)
{
    // 0xFF is no GBK byte: it only marks the two special names, which are shown without
    // it, also inside a path such as the location of a search category.
    std::string shown(gbk);
    std::erase(shown, '\xFF');
    const std::string utf8 = catalog::gbkToUtf8(shown);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string toGbk(const QString& text)
{
    return catalog::utf8ToGbk(text.toStdString());
}

QString fromNative(const std::string& path)
{
    // Names below a folder of the machine may be GBK, the library's boxes for one.
    const std::string shown = catalog::DisplayPath(path);
    return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

} // namespace ui
