#pragma once

#include "search/engine.h"

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class Clock;
class UserDialogs;
} // namespace platform

namespace Ui {
class TFindForm;
}

namespace search {

class IndexKeeper;

// "查找": what to search for and where; its OK button runs the search.
class TFindForm : public QDialog
{
    Q_OBJECT
public:
    TFindForm(platform::UserDialogs& dialogs, const platform::Clock& clock,
              QWidget* parent = nullptr);
    ~TFindForm() override;

    // The longest a run goes without handling the window's events (the abort button).
    static constexpr qint64 PumpIntervalMs = 15;

    // Set by the opening command before the dialog is shown. Text searches go through the
    // keeper's index when it has one (nullptr: no index).
    void setLibraryRoot(const std::string& root, IndexKeeper* indexKeeper = nullptr);
    void setInitialBoxPath(const std::string& boxPathGbk);
    void clearScope();
    void addScopeEntry(const ScopeEntry& entry);
    std::vector<ScopeEntry> scope() const;

    // Read by the opening command after the dialog closed.
    bool done() const;                    // a search ended without abort
    const SearchOutcome& outcome() const; // hits and category of the last run
    bool textPageActive() const;
    std::string searchTextGbk() const; // Edit1 as typed

    // Test seam: the OK button's work, as a click runs it.
    void BitBtn1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

private:
    void addSelectedBox();
    void removeSelectedScope();
    int markRedundantScope(); // selects the covered entries, returns their number
    void checkScope();
    SearchRequest request() const;
    void setSearching(bool searching);

    struct Private;
    std::unique_ptr<Ui::TFindForm> m_ui;
    std::unique_ptr<Private> d;
};

} // namespace search
