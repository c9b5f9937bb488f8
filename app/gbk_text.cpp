#include "app/gbk_text.h"

#include "catalog/library.h"
#include "catalog/text.h"

namespace app {

QString fromGbk(std::string_view gbk)
{
    const std::string utf8 = catalog::gbkToUtf8(catalog::DisplayCaption(gbk));
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string toGbk(const QString& text)
{
    return catalog::utf8ToGbk(text.toStdString());
}

} // namespace app
