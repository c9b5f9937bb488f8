#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <string_view>

namespace Ui {
class TNewCDsForm;
}

namespace scan {

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
