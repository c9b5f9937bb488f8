#pragma once

#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/record_files.h"

#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

class QAction;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QShowEvent;
class QActionGroup;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QTabWidget;
class QToolBar;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace platform {
class Clock;
class Drives;
class Printing;
class SettingsStore;
class Shell;
class UserDialogs;
} // namespace platform

namespace search {
class TFindForm;
class TLocForm;
struct ScopeEntry;
class IndexKeeper;
} // namespace search

namespace organize {
class TMoveForm;
struct MoveOutcome;
struct DeleteOutcome;
enum class NodeEditResult;
enum class RenameResult;
} // namespace organize

namespace output {
class TExpForm;
enum class Style;
} // namespace output

namespace maintenance {
class TReIconForm;
} // namespace maintenance
namespace settings {
class TSetupForm;
}

namespace scan {
class TCDMxForm;
class TNewCDForm;
class TNewCDsForm;
} // namespace scan

namespace app {

class CdListView;
class InfoPanel;
class PanelBar;
class RecordTreeModel;

// Drags started on the box tree or the CD list carry this format, holding the name of the
// pane they come from ("TVstyle" or "LVcd"); a drop acts on that pane's selection.
inline constexpr char PaneDragFormat[] = "application/x-vellumark-pane";

// What the main window needs from the machine.
struct MainServices
{
    platform::SettingsStore& settings;
    platform::Drives& drives;
    platform::UserDialogs& dialogs;
    const platform::Clock& clock;
    platform::Shell& shell;
    std::string defaultLibraryRoot;         // native, ends in "/"
    std::string documentsFolder;            // native, ends in "/"
    platform::Printing* printing = nullptr; // none: the machine has no printer
    std::string cacheFolder = {};           // native, ends in "/"; "" keeps no search index
};

// The main window: box tree, CD list, content tree and the pages below them.
class Tmainform : public QMainWindow
{
    Q_OBJECT
public:
    explicit Tmainform(MainServices services, QWidget* parent = nullptr);
    ~Tmainform() override;

    const std::string& libraryRoot() const { return m_libraryRoot; }
    bool quietMode() const { return m_quietMode; }
    bool saveLayoutOnExit() const { return m_saveLayoutOnExit; }

    // Box tree.
    void TVstyleChange();
    void refreshLibrary();
    void showDetails();
    void expandAll();
    void collapseAll();
    // Selects the box tree node of a library-relative box path; false when there is none.
    bool selectBoxPath(const std::string& boxPathGbk);

    // CD list.
    void LVcdClick();
    void goUp();
    void selectAllItems();
    void RefreshDriveItems();
    // Adding a CD: the add-a-CD dialog, the description, the new record shown.
    void TopNewCDClick();
    // A new box through the dialog, or under the selected node through an input box.
    void TopNewCDSClick();
    void tvnewcdsClick();

    // Content tree.
    void contentNodeChanged();
    void describeNode();
    void openNode();
    void copyPath();
    // The system reports that a medium arrived or was removed.
    void mediaChanged();

    // Searching: the search dialog opened on the library, a box or the selected items.
    void topfindClick();
    void tvfindClick();
    void lvfindClick();
    // Goes to the catalogued CD of the selected search result.
    void lvoldplClick();
    // Finding nodes of the shown CD by name, and jumping to its described nodes.
    void tvcdfindClick();
    void tvcdfindnextClick();
    void tvcdLocMXClick();

    // Organizing. Box tree: move or copy, delete and rename the selected box.
    void tvtbmoveClick();
    void tvdelClick();
    void tvtbrenClick();
    // Clearing empty boxes: the main toolbar, the box tree's menu and F4.
    void topclsnullClick();
    void N15Click();
    // CD list: move or copy, delete and rename the selected items.
    void lvtbmoveClick();
    void lvtbdelClick();
    void lvtbrenClick();
    // Content tree: delete and rename the selected node of the shown CD.
    void tvcddelClick();
    void tvcdrenClick();

    // Output: the shown CD's tree as a text file, an HTML document or a printout; the
    // batch output of a box.
    void N19Click();
    void HTML1Click();
    void N17Click();
    void ToolButton5Click();

    // Maintenance: records imported from another folder tree (F6), the library backed up
    // into a chosen folder.
    void toploadClick();
    // "导入其他软件的光盘目录...": another program's catalogue file into the selected box.
    void importCatalogueClick();
    void ToolButton20Click();
    // The icon rebuild dialog on the selected box; the rebuilt box selected afterwards.
    void ToolButton1Click();
    // Drag and drop. Positions are those of the events that the viewports of the box
    // tree and of the CD list's current view receive.
    void TVstyleDragOver(QDragMoveEvent* event);
    void TVstyleDragDrop(QDropEvent* event);
    void LVcdDragOver(QDragMoveEvent* event);
    void LVcdDragDrop(QDropEvent* event);

    // The settings dialog; a library moved to a new place is loaded from there.
    void topsetupClick();

    // Layout.
    void restoreLayout();
    void saveLayout();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One command of the window: an error that ends it (a file that cannot be read or
    // written) is shown as a message; what was done before stays.
    void runCommand(const std::function<void()>& work);
    void reportFailure(const std::exception& error);
    // Connects a signal to a handler that runs as one command.
    template <typename Sender, typename Signal, typename... Args>
    void connectCommand(Sender* sender, Signal signal, void (Tmainform::*handler)(Args...));

    bool saveOnEnter(QObject* watched, const QKeyEvent* key);
    void applyPaneSizes();
    struct ShownRecord;

    void buildActions();
    void buildMainToolBar();
    QWidget* buildBoxTreePane();
    QWidget* buildListPane();
    QWidget* buildContentPane();
    QWidget* buildPagesPane();
    void buildDriveMenus();
    void buildBoxTreeMenu();
    void buildListMenu();
    void buildContentMenu();
    void contentTreeContextMenu(const QPoint& pos);
    void readSettings();
    void resolveLibrary();
    void keepSearchIndex();
    void loadBoxTree();
    void addBoxTreeItems(QTreeWidgetItem* parentItem, const catalog::Tree& tree,
                         catalog::NodeId node);

    // Box tree helpers.
    QTreeWidgetItem* selectedNode() const;
    int nodeKind(const QTreeWidgetItem* item) const;
    std::string nodePath(const QTreeWidgetItem* item) const;
    QTreeWidgetItem* findNodeByPath(const std::string& pathGbk) const;
    void sortBoxTree();
    void setBoxTreeButtons(int kind);
    // StatusBar1: the counts of the selected box or search results node, shown when the
    // node is selected and again after every command that changes what it holds.
    void showBoxCounts();
    // Turns a command on only when its work is built.
    void enableCommand(QAction* action, bool on);
    void boxTreeContextMenu(const QPoint& pos);
    bool boxTreeKeyReleased(const QKeyEvent* key);
    // Selects the node, or shows it again when it is the selected one already.
    void showBoxNode(QTreeWidgetItem* node);

    // Organizing helpers.
    bool dragEventFilter(QObject* watched, QEvent* event);
    void startPaneDrag(QWidget* source, const QIcon& icon);
    QTreeWidgetItem* boxTreeDropTarget(const QDropEvent* event) const;
    int listDropTarget(const QDropEvent* event) const;
    // Runs the work of a drop once the drag is over.
    void afterDrop(const std::function<void()>& work);
    // Work that changes boxes on disk; when it fails halfway the box tree is read again,
    // so that it shows what was done.
    void changeBoxes(const std::function<void()>& work);
    void moveBox(const std::string& sourcePathGbk, bool copy, const std::string& targetPathGbk);
    void moveItems(const std::string& sourcePathGbk, bool copy, const std::string& targetPathGbk);
    void copyFoundCds(const std::string& categoryPathGbk, const std::string& targetPathGbk);
    bool askOverwrite(const std::string& questionUtf8);
    // Shows the refusals of a move and mirrors the moved boxes under the target's node;
    // returns that node.
    QTreeWidgetItem* mirrorMove(const organize::MoveOutcome& outcome,
                                const std::vector<std::string>& movedBoxPathsGbk,
                                const std::string& targetPathGbk, bool copy);
    // The target box shown and expanded, the moved items selected in its list.
    void showTargetWith(QTreeWidgetItem* target, const std::vector<std::string>& captionsGbk);
    void reportLosses(int filesNotCopied, int filesNotDeleted);
    // Boxes and CDs of a box can be moved; in a search category only found CDs.
    bool selectionMovable() const;
    bool listItemOnDisk(int row) const;
    // Deletes, then lets the panes follow the disk, also when the deletion stopped halfway;
    // files that could not be deleted are said.
    void deleteThenMirror(const std::function<organize::DeleteOutcome()>& remove,
                          const std::function<void()>& mirror);
    // The input box of a rename, prefilled with the old name; the typed name in GBK.
    std::optional<std::string> askNewName(const char* caption, const char* prompt,
                                          const std::string& oldNameGbk);
    void renameCd(int row);
    void renameListBox(int row);
    // Renames a box on disk, saying why not where there is something to say (the texts of
    // the pane `use` names); true when renamed.
    bool renameBox(const std::string& boxPathGbk, const std::string& newNameGbk,
                   catalog::NameUse use);
    // Says why a rename did not happen: a refused name, or one that is taken; true when
    // it happened.
    bool reportRename(organize::RenameResult result, catalog::NameUse use,
                      const std::string& existsMessageUtf8);
    void resortList();
    // Refusals of edits of a CD's tree: the status bar in quiet mode, else a message.
    void reportRefusal(const char* textUtf8);
    bool editConfirmed(const std::string& questionUtf8);
    // The selected node of the shown CD when it may be edited; NoNode otherwise, after
    // saying so for a found folder.
    catalog::NodeId editableContentNode(bool deleting);
    // Runs an edit of the shown CD's tree that the core saves, under the status text
    // "正在保存修改...", and reads the node descriptions again.
    organize::NodeEditResult
    saveContentEdit(const std::function<organize::NodeEditResult(catalog::Tree&)>& edit);

    // CD list helpers.
    void fillList(const std::string& folder);
    void listRightButton(const QPoint& globalPos, int row);
    void listDoubleClick();
    void listKeyReleased(int key, Qt::KeyboardModifiers modifiers);
    void resetShow();
    void applySelectionState();
    void followSelection();
    void showDriveItem(int row);
    void showRecord(int row);
    void showFoundFolder(int row);
    void showFoundCd(int row);
    void showBoxItem(int row);
    bool createBox(const std::string& parentFolder, const std::string& nameGbk);
    void addNewBox(QTreeWidgetItem* parentNode, const std::string& nameGbk);
    void showNewCd(const std::string& targetBox, const std::string& nameGbk);
    void leaveDescription();
    // The content tree's keys with Control or Alt; true when the key is one of them.
    bool contentKeyPressed(const QKeyEvent* key);
    void contentKeyReleased(const QKeyEvent* key);
    bool refuseFoundFolderEdit(bool deleting);
    void showFindForm();
    bool findNodeFrom(int first);
    void selectContentNode(catalog::NodeId node);
    catalog::NodeId selectedContentNode() const;
    std::string contentRootLine() const;
    bool showRecordFiles(const catalog::RecordRef& record, const char* noNotes,
                         const char* hasNotes, int row);
    bool loadIntoContentTree(const catalog::RecordRef& record, std::string_view listingExt);
    void loadDescription(const catalog::RecordRef& record, bool editable);
    void loadNodeNotes(const catalog::RecordRef& record, const char* noNotes, const char* hasNotes);
    void loadFindMemo(const std::string& finFolder, const std::string& nameGbk);
    void removeListItem(int row);
    // The listing the content tree shows: the record's .cdr (a found CD's target) or a
    // found folder's .fid. Throws FileError when it is gone.
    std::string shownListing() const;
    void outputShownCd(output::Style style);
    void clearContent();
    // Nothing of the record is shown: its tree, description, pages and status are cleared.
    void clearShownRecord();
    void setShownRecord(const std::string& captionGbk);
    std::string boxFolder() const;
    std::string boxPath() const;
    void setLocation(const QString& text);
    void setTabShown(QWidget* page, bool shown);

    MainServices m_services;
    std::string m_libraryRoot;
    bool m_quietMode = true;
    bool m_saveLayoutOnExit = true;
    std::string m_shownRecordGbk;
    bool m_hasShownRecord = false;
    catalog::NodeNotes m_nodeNotes; // the node-description lines (Memo2)
    QString m_savedDescription;     // Memo1: the memo's text as last loaded or saved
    // The record whose files the content pane shows (a found CD's target).
    catalog::RecordRef m_shownFiles;

    scan::TNewCDForm* m_newCdForm = nullptr;
    scan::TCDMxForm* m_cdMxForm = nullptr;
    scan::TNewCDsForm* m_newBoxForm = nullptr;
    search::TFindForm* m_findForm = nullptr;
    // Keeps the library's search index in the background; made again when the library
    // moves. Declared after the forms so that it goes first.
    std::unique_ptr<search::IndexKeeper> m_indexKeeper;
    search::TLocForm* m_locForm = nullptr;
    organize::TMoveForm* m_moveForm = nullptr;
    output::TExpForm* m_expForm = nullptr;
    maintenance::TReIconForm* m_reIconForm = nullptr;
    settings::TSetupForm* m_setupForm = nullptr;
    // The remembered find text and where "find next" goes on (an index in tree order).
    std::string m_findTextGbk;
    int m_findPosition = 0;

    struct PaneSizes
    {
        int panel1Width = 240;
        int panel3Height = 480;
        int panel4Height = 260;
        int panel5Width = 320;
    };
    PaneSizes m_paneSizes;
    bool m_paneSizesApplied = false;
    QSplitter* m_mainSplitter = nullptr;
    QSplitter* m_rightSplitter = nullptr;
    QSplitter* m_upperSplitter = nullptr;
    QWidget* m_panels[8] = {};

    QTreeWidget* m_boxTree = nullptr;
    PanelBar* m_statusBar1 = nullptr;
    CdListView* m_list = nullptr;
    PanelBar* m_statusBar4 = nullptr;
    QTreeView* m_contentTree = nullptr;
    RecordTreeModel* m_contentModel = nullptr;
    QLabel* m_pathLine = nullptr;
    PanelBar* m_statusBar5 = nullptr;
    PanelBar* m_statusBar2 = nullptr;
    QTabWidget* m_pages = nullptr;
    QWidget* m_tabSheet1 = nullptr;
    QWidget* m_tabSheet3 = nullptr;
    QPlainTextEdit* m_description = nullptr;
    QPlainTextEdit* m_findMemo = nullptr;
    InfoPanel* m_infoPanel = nullptr;
    PanelBar* m_statusBar3 = nullptr;

    // Main toolbar.
    QAction* m_findAction = nullptr;
    QAction* m_refreshAction = nullptr;
    QAction* m_clearAction = nullptr;
    QAction* m_newCdAction = nullptr;
    QAction* m_newBoxAction = nullptr;
    QAction* m_importAction = nullptr;
    QAction* m_backupAction = nullptr;
    QAction* m_outputAction = nullptr;
    QAction* m_reIconAction = nullptr;
    QAction* m_setupAction = nullptr;
    QAction* m_aboutAction = nullptr;
    QAction* m_exitAction = nullptr;

    // Box tree toolbar and menu.
    QAction* m_tvDelete = nullptr;
    QAction* m_tvMove = nullptr;
    QAction* m_tvRename = nullptr;
    QToolButton* m_ejectButton = nullptr;
    QToolButton* m_closeButton = nullptr;
    QMenu* m_ejectMenu = nullptr;
    QMenu* m_closeMenu = nullptr;
    QMenu* m_boxTreeMenu = nullptr;

    // CD list toolbar and menu.
    QAction* m_lvUp = nullptr;
    QAction* m_lvDelete = nullptr;
    QAction* m_lvMove = nullptr;
    QAction* m_lvRename = nullptr;
    QActionGroup* m_viewStyles = nullptr;
    QAction* m_styleActions[4] = {};
    QMenu* m_listMenu = nullptr;
    QMenu* m_contentMenu = nullptr;

    // Commands whose work is built; every other command stays disabled wherever the
    // enabling rules would turn it on.
    QAction* m_importCatalogue = nullptr;
    std::set<const QAction*> m_available;
};

} // namespace app
