#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <string_view>

class QObject;
class QString;
class QTreeWidget;
class QValidator;

namespace Ui {
class TNewCDsForm;
}

namespace scan {

// The read-only box tree of this folder's dialogs: the root node "Orlendy" and the
// library's boxes, sorted, root expanded. Selects the box at boxPathGbk, or the root when
// that box is gone.
void fillBoxTree(QTreeWidget& view, const std::string& libraryRoot, const std::string& boxPathGbk);
// The box path (GBK, each name followed by a backslash) of the selected node; "" for the
// root, and for no selection.
std::string selectedBoxPath(const QTreeWidget& view);
// Refuses typing the characters of `forbidden` and those GBK cannot hold; upper-cases
// what is typed when asked to.
QValidator* makeNameValidator(const QString& forbidden, bool upperCase, QObject* parent);

// "新增一个光盘盒": the name of a new box and the box it goes into.
class TNewCDsForm : public QDialog
{
    Q_OBJECT
public:
    explicit TNewCDsForm(QWidget* parent = nullptr);
    ~TNewCDsForm() override;

    void setLibraryRoot(const std::string& root);
    // NewBoxParentPath: preset before showing, the chosen box after OK (GBK box path).
    void setParentPath(const std::string& boxPathGbk);
    const std::string& parentPath() const { return m_parentPath; }
    // The name as typed, blanks kept.
    std::string nameGbk() const;

protected:
    void showEvent(QShowEvent* event) override;
    void accept() override;

private:
    std::unique_ptr<Ui::TNewCDsForm> m_ui;
    std::string m_libraryRoot;
    std::string m_parentPath;
};

} // namespace scan
