#include "ui/folder_chooser.h"

#include "catalog/collation.h"
#include "catalog/text.h"
#include "ui/gbk_text.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ui {

namespace {

std::string joinPath(const std::string& folder, std::string_view name)
{
    std::string path = folder;
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    path += name;
    return path;
}

// Without the trailing "/" that the program's folders carry, except for the root itself.
std::string withoutSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

bool isFolder(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// True when path is folder or lies below it.
bool onTheWayTo(const std::string& folder, const std::string& path)
{
    return path == folder ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            (folder.back() == '/' || path[folder.size()] == '/'));
}

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    return home != nullptr && *home == '/' ? withoutSlash(home) : std::string();
}

} // namespace

QString fromNativeName(std::string_view name)
{
    if (catalog::isValidUtf8(name)) {
        return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }
    return fromGbk(name);
}

struct FolderModel::Node
{
    std::string path;
    QString shown;
    bool link = false;
    bool listed = false;
    Node* parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<Node>> children;
};

FolderModel::FolderModel(const std::vector<std::string>& roots, QObject* parent)
    : QAbstractItemModel(parent), m_root(std::make_unique<Node>())
{
    m_root->listed = true;
    for (const std::string& rootPath : roots) {
        auto node = std::make_unique<Node>();
        node->path = withoutSlash(rootPath);
        node->shown = fromNative(node->path);
        node->parent = m_root.get();
        node->row = static_cast<int>(m_root->children.size());
        m_root->children.push_back(std::move(node));
    }
}

FolderModel::~FolderModel() = default;

FolderModel::Node* FolderModel::node(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : m_root.get();
}

QModelIndex FolderModel::index(int row, int column, const QModelIndex& parent) const
{
    const Node* folder = node(parent);
    if (column != 0 || row < 0 || row >= static_cast<int>(folder->children.size())) {
        return {};
    }
    return createIndex(row, 0, folder->children[static_cast<std::size_t>(row)].get());
}

QModelIndex FolderModel::parent(const QModelIndex& child) const
{
    const Node* folder = node(child)->parent;
    if (!child.isValid() || folder == m_root.get()) {
        return {};
    }
    return createIndex(folder->row, 0, const_cast<Node*>(folder));
}

int FolderModel::rowCount(const QModelIndex& parent) const
{
    return parent.column() > 0 ? 0 : static_cast<int>(node(parent)->children.size());
}

int FolderModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant FolderModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) {
        return {};
    }
    const Node* folder = node(index);
    switch (role) {
    case Qt::DisplayRole:
        return folder->shown;
    case Qt::DecorationRole:
        return QApplication::style()->standardIcon(folder->link ? QStyle::SP_DirLinkIcon
                                                                : QStyle::SP_DirIcon);
    case PathRole:
        return QByteArray::fromStdString(folder->path);
    default:
        return {};
    }
}

bool FolderModel::hasChildren(const QModelIndex& parent) const
{
    const Node* folder = node(parent);
    // Unlisted folders show an expander; listing each child to know would cost a
    // directory read per row.
    return !folder->listed || !folder->children.empty();
}

bool FolderModel::canFetchMore(const QModelIndex& parent) const
{
    return !node(parent)->listed;
}

void FolderModel::fetchMore(const QModelIndex& parent)
{
    Node* folder = node(parent);
    if (folder->listed) {
        return;
    }
    list(*folder);
    if (!folder->children.empty()) {
        beginInsertRows(parent, 0, static_cast<int>(folder->children.size()) - 1);
        endInsertRows();
    }
}

void FolderModel::list(Node& folder)
{
    folder.listed = true;
    DIR* dir = ::opendir(folder.path.c_str());
    if (dir == nullptr) {
        return; // unreadable: shown without sub-folders
    }
    struct Entry
    {
        std::string key;
        std::string name;
        bool link;
    };
    std::vector<Entry> entries;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = joinPath(folder.path, name);
        // Hidden folders stay hidden, except the one on the way to the start folder.
        if (name.front() == '.' && !onTheWayTo(path, m_startPath)) {
            continue;
        }
        bool link = entry->d_type == DT_LNK;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info
            {
            };
            if (::lstat(path.c_str(), &info) != 0) {
                continue;
            }
            link = S_ISLNK(info.st_mode);
            if (!link && !S_ISDIR(info.st_mode)) {
                continue;
            }
        } else if (entry->d_type != DT_DIR && !link) {
            continue;
        }
        if (link && !isFolder(path)) {
            continue;
        }
        // The main window's order: GBK names as they are, UTF-8 names by their GBK text.
        const std::string gbkName =
            catalog::isValidUtf8(name) ? catalog::utf8ToGbk(name) : std::string(name);
        entries.push_back({catalog::captionSortKey(gbkName), std::string(name), link});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.key != b.key ? a.key < b.key : a.name < b.name;
    });
    folder.children.reserve(entries.size());
    for (Entry& entry : entries) {
        auto child = std::make_unique<Node>();
        child->path = joinPath(folder.path, entry.name);
        child->shown = fromNativeName(entry.name);
        child->link = entry.link;
        child->parent = &folder;
        child->row = static_cast<int>(folder.children.size());
        folder.children.push_back(std::move(child));
    }
}

std::string FolderModel::path(const QModelIndex& index) const
{
    return index.isValid() ? node(index)->path : std::string();
}

QModelIndex FolderModel::closest(const std::string& path)
{
    const std::string wanted = withoutSlash(path);
    m_startPath = wanted;
    // The top-level folder that holds it most closely.
    QModelIndex found;
    std::size_t foundLength = 0;
    for (const auto& root : m_root->children) {
        if (onTheWayTo(root->path, wanted) &&
            (!found.isValid() || root->path.size() > foundLength)) {
            found = createIndex(root->row, 0, root.get());
            foundLength = root->path.size();
        }
    }
    while (found.isValid() && node(found)->path != wanted) {
        fetchMore(found);
        QModelIndex next;
        for (const auto& child : node(found)->children) {
            if (onTheWayTo(child->path, wanted)) {
                next = createIndex(child->row, 0, child.get());
                break;
            }
        }
        if (!next.isValid()) {
            break;
        }
        found = next;
    }
    return found;
}

void FolderModel::relist(const QModelIndex& index)
{
    Node* folder = node(index);
    if (!folder->children.empty()) {
        beginRemoveRows(index, 0, static_cast<int>(folder->children.size()) - 1);
        folder->children.clear();
        endRemoveRows();
    }
    folder->listed = false;
    fetchMore(index);
}

FolderChooser::FolderChooser(const QString& prompt, const std::string& startFolder, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FolderChooser"));
    setWindowTitle(QStringLiteral("选择文件夹"));

    const std::string home = homeFolder();
    std::vector<std::string> roots;
    if (!home.empty() && home != "/") {
        roots.push_back(home);
    }
    roots.emplace_back("/");
    m_model = new FolderModel(roots, this);

    auto* promptLabel = new QLabel(prompt, this);
    promptLabel->setObjectName(QStringLiteral("prompt"));
    promptLabel->setWordWrap(true);

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("folders"));
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setModel(m_model);

    auto* pathLabel = new QLabel(QStringLiteral("文件夹:"), this);
    m_pathLine = new QLineEdit(this);
    m_pathLine->setObjectName(QStringLiteral("path"));
    pathLabel->setBuddy(m_pathLine);

    m_newFolder = new QPushButton(QStringLiteral("新建文件夹"), this);
    m_newFolder->setObjectName(QStringLiteral("newFolder"));
    m_newFolder->setAutoDefault(false);
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(pathLabel);
    pathRow->addWidget(m_pathLine);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_newFolder);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(promptLabel);
    layout->addWidget(m_tree);
    layout->addLayout(pathRow);
    layout->addLayout(buttons);
    resize(440, 480);

    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { currentChanged(current); });
    connect(m_newFolder, &QPushButton::clicked, this, &FolderChooser::makeFolder);
    connect(ok, &QPushButton::clicked, this, &FolderChooser::accept);
    connect(cancel, &QPushButton::clicked, this, &FolderChooser::reject);

    QModelIndex start = m_model->closest(startFolder.empty() ? home : startFolder);
    select(start.isValid() ? start : m_model->index(0, 0));
}

void FolderChooser::select(const QModelIndex& index)
{
    for (QModelIndex above = index.parent(); above.isValid(); above = above.parent()) {
        m_tree->expand(above);
    }
    m_tree->setCurrentIndex(index);
    m_tree->scrollTo(index);
}

void FolderChooser::currentChanged(const QModelIndex& current)
{
    m_selected = m_model->path(current);
    m_selectedShown = fromNative(m_selected);
    m_pathLine->setText(m_selectedShown);
}

std::string FolderChooser::typedFolder() const
{
    // Not trimmed: a blank may end a folder's name.
    const QString text = m_pathLine->text();
    if (text == m_selectedShown) {
        return m_selected;
    }
    // A relative path starts at the selected folder.
    std::string path = text.startsWith(QLatin1Char('/')) ? std::string("/") : m_selected;
    for (const QString& name : text.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (name == QLatin1String(".")) {
            continue;
        }
        if (name == QLatin1String("..")) {
            path = withoutSlash(path.substr(0, std::max<std::size_t>(path.rfind('/'), 1)));
            continue;
        }
        // The text cannot say how the name is spelt on disk: the one that exists wins.
        const std::string utf8 = name.toStdString();
        std::string chosen = joinPath(path, utf8);
        const catalog::GbkConversion gbk = catalog::utf8ToGbkCounted(utf8);
        if (::access(chosen.c_str(), F_OK) != 0 && gbk.replaced == 0) {
            for (const std::string& spelling : {gbk.gbk, "\xFF" + gbk.gbk}) {
                if (::access(joinPath(path, spelling).c_str(), F_OK) == 0) {
                    chosen = joinPath(path, spelling);
                    break;
                }
            }
        }
        path = chosen;
    }
    return path;
}

void FolderChooser::accept()
{
    const std::string folder = typedFolder();
    if (folder.empty() || !isFolder(folder)) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("%1\n文件夹不存在。").arg(m_pathLine->text()));
        return;
    }
    m_chosen = folder;
    QDialog::accept();
}

void FolderChooser::makeFolder()
{
    const QModelIndex parentIndex = m_tree->currentIndex();
    if (!parentIndex.isValid()) {
        return;
    }
    bool accepted = false;
    const QString name =
        QInputDialog::getText(this, QStringLiteral("新建文件夹"), QStringLiteral("文件夹名称:"),
                              QLineEdit::Normal, QStringLiteral("新建文件夹"), &accepted)
            .trimmed();
    if (!accepted || name.isEmpty()) {
        return;
    }
    if (name.contains(QLatin1Char('/')) || name == QLatin1String(".") ||
        name == QLatin1String("..")) {
        QMessageBox::warning(
            this, windowTitle(),
            QStringLiteral("文件夹名称不能是 \".\" 或 \"..\"，也不能包含 \"/\"。"));
        return;
    }
    // A new folder outside the library is named as the desktop names it: UTF-8.
    const std::string path = joinPath(m_model->path(parentIndex), name.toStdString());
    if (::mkdir(path.c_str(), 0777) != 0) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("%1\n%2").arg(
                                 fromNative(path), QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    // Looked for first, so that the listing keeps it even when its name is hidden.
    m_model->closest(path);
    m_model->relist(parentIndex);
    select(m_model->closest(path));
}

std::optional<std::string> FolderChooser::choose(QWidget* parent, const std::string& promptUtf8,
                                                 const std::string& startFolder)
{
    FolderChooser dialog(
        QString::fromUtf8(promptUtf8.data(), static_cast<qsizetype>(promptUtf8.size())),
        startFolder, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.chosenFolder();
}

} // namespace ui
