#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Ui {
class TLocForm;
}

namespace platform {
class UserDialogs;
}

namespace search {

// "定位": the descriptions of the shown CD's folders and files; pick one to jump to it,
// or edit, delete and clear them.
class TLocForm : public QDialog
{
    Q_OBJECT
public:
    explicit TLocForm(QWidget* parent = nullptr);
    ~TLocForm() override;

    // Where "定位" without a selection says so; without one it only keeps the dialog open.
    void setDialogs(platform::UserDialogs* dialogs);

    // (node path, description) pairs, GBK, in file order.
    using Entries = std::vector<std::pair<std::string, std::string>>;
    void setEntries(const Entries& entries); // the first entry selected
    Entries entries() const;                 // as the list holds them now

    bool locate() const;       // closed with a jump
    bool modified() const;     // the list differs from what was given
    int selectedIndex() const; // -1 for none

protected:
    void showEvent(QShowEvent* event) override;

private:
    void locateSelected();

    std::unique_ptr<Ui::TLocForm> m_ui;
    platform::UserDialogs* m_dialogs = nullptr;
    bool m_locate = false;
    bool m_modified = false;
};

} // namespace search
