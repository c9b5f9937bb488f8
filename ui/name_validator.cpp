#include "ui/name_validator.h"

#include "catalog/text.h"

#include <QValidator>

namespace ui {
namespace {

class NameValidator : public QValidator
{
public:
    NameValidator(const QString& forbidden, bool upperCase, QObject* parent)
        : QValidator(parent), m_forbidden(forbidden), m_upperCase(upperCase)
    {}

    State validate(QString& input, int& /*pos*/) const override
    {
        for (const QChar c : input) {
            if (m_forbidden.contains(c)) {
                return Invalid;
            }
        }
        // A character GBK cannot hold would be written as "?" into the library's names.
        if (catalog::utf8ToGbkCounted(input.toStdString()).replaced > 0) {
            return Invalid;
        }
        if (m_upperCase) {
            input = input.toUpper();
        }
        return Acceptable;
    }

private:
    QString m_forbidden;
    bool m_upperCase;
};

} // namespace

QValidator* makeNameValidator(const QString& forbidden, bool upperCase, QObject* parent)
{
    return new NameValidator(forbidden, upperCase, parent);
}

} // namespace ui
