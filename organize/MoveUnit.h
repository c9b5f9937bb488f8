#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class TMoveForm;
}

namespace organize {

// "移动/复制 到...": the box that boxes and CDs go to, and whether they are copied.
class TMoveForm : public QDialog
{
    Q_OBJECT
public:
    explicit TMoveForm(QWidget* parent = nullptr);
    ~TMoveForm() override;

    void setLibraryRoot(const std::string& root);
    // MoveSourcePath: the box selected when the dialog opens (GBK box path, "" the root).
    void setMoveSourcePath(const std::string& boxPathGbk);
    const std::string& moveSourcePath() const { return m_sourcePath; }
    // MoveTargetPath: the box chosen, once the dialog closed with OK.
    const std::string& moveTargetPath() const { return m_targetPath; }
    // CheckBox1: ticked at first, then as the user left it.
    bool copyChecked() const;
    // Found CDs are always copied: the choice is greyed while they are moved.
    void setCopyChoiceEnabled(bool enabled);

    void BitBtn1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TMoveForm> m_ui;
    std::string m_libraryRoot;
    std::string m_sourcePath;
    std::string m_targetPath;
};

} // namespace organize
