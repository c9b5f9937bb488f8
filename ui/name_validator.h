#pragma once

class QObject;
class QString;
class QValidator;

namespace ui {

// Refuses typing the characters of `forbidden` and those GBK cannot hold; upper-cases
// what is typed when asked to.
QValidator* makeNameValidator(const QString& forbidden, bool upperCase, QObject* parent);

} // namespace ui
