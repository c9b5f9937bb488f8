#pragma once

#include <QString>

#include <string>
#include <string_view>

// GBK bytes of the library <-> text on screen. The two special names are shown without
// their 0xFF byte.
namespace app {

QString fromGbk(std::string_view gbk);
std::string toGbk(const QString& text);

} // namespace app
