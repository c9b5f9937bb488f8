#pragma once

#include <QString>

#include <string>
#include <string_view>

// GBK bytes of the library <-> text on screen. The two special names are shown without
// their 0xFF byte.
namespace ui {

QString fromGbk(std::string_view gbk);
std::string toGbk(const QString& text);
// A path of the machine as text on screen: each name as UTF-8 where it is valid, else GBK.
QString fromNative(const std::string& path);

} // namespace ui
