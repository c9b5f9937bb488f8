#pragma once

#include <QAbstractItemModel>
#include <QDialog>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

// A folder browser that shows every folder name, GBK bytes included, and gives back the
// exact bytes of the chosen path. Qt's own file dialog cannot: QDir drops names that are
// not UTF-8, so the library's box folders never appear in it.
namespace ui {

// A name of the machine as text on screen: UTF-8 where it is valid, else GBK.
QString fromNativeName(std::string_view name);

// The folders of the machine as a tree, each folder listed when it is first expanded.
class FolderModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    // The raw bytes of a folder's path (QByteArray), for tests and the dialog.
    static constexpr int PathRole = Qt::UserRole + 1;

    // Top-level folders, in this order (native paths).
    explicit FolderModel(const std::vector<std::string>& roots, QObject* parent = nullptr);
    ~FolderModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    std::string path(const QModelIndex& index) const;
    // The deepest folder of the tree on the way to path (listing folders on the way),
    // or an invalid index when no top-level folder holds it.
    QModelIndex closest(const std::string& path);
    // Lists the folder again, after a folder was made in it.
    void relist(const QModelIndex& index);

private:
    struct Node;
    Node* node(const QModelIndex& index) const;
    void list(Node& folder);

    std::unique_ptr<Node> m_root;
    std::string m_startPath; // hidden folders on the way to it are listed
};

// The dialog: a prompt, the tree, a path line, 新建文件夹, 确定 and 取消.
class FolderChooser : public QDialog
{
    Q_OBJECT

public:
    FolderChooser(const QString& prompt, const std::string& startFolder, QWidget* parent = nullptr);

    // The chosen folder, exact bytes without a trailing "/"; empty before OK.
    const std::string& chosenFolder() const { return m_chosen; }

    // Shows the dialog; the chosen folder, or nullopt when cancelled.
    static std::optional<std::string> choose(QWidget* parent, const std::string& promptUtf8,
                                             const std::string& startFolder);

    void accept() override;

private:
    void select(const QModelIndex& index);
    void currentChanged(const QModelIndex& current);
    void makeFolder();
    // The folder named by the path line: the selected folder while the line shows it,
    // else the typed text, each name taken as UTF-8 or GBK, whichever exists.
    std::string typedFolder() const;

    FolderModel* m_model;
    QTreeView* m_tree;
    QLineEdit* m_pathLine;
    QPushButton* m_newFolder;
    std::string m_selected; // bytes of the selected folder
    QString m_selectedShown;
    std::string m_chosen;
};

} // namespace ui
