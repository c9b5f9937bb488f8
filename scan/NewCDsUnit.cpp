#include "scan/NewCDsUnit.h"
#include "app/gbk_text.h"

#include "app/icons.h"
#include "catalog/box_tree.h"
#include "catalog/collation.h"
#include "catalog/library.h"
#include "catalog/text.h"
#include "ui_NewCDsUnit.h"

#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QValidator>

namespace scan {
namespace {

constexpr int GbkRole = Qt::UserRole;
constexpr int SortKeyRole = Qt::UserRole + 1;

// Sorted by the collation key of the GBK text, as the main window's box tree is.
class BoxItem : public QTreeWidgetItem
{
public:
    BoxItem(const std::string& textGbk, int kind)
    {
        setText(0, app::fromGbk(textGbk));
        setData(0, GbkRole, QByteArray::fromStdString(textGbk));
        setData(0, SortKeyRole, QByteArray::fromStdString(catalog::captionSortKey(textGbk)));
        setIcon(0, app::boxTreeIcon(kind));
    }
    bool operator<(const QTreeWidgetItem& other) const override
    {
        return data(0, SortKeyRole).toByteArray() < other.data(0, SortKeyRole).toByteArray();
    }
};

void addChildren(QTreeWidgetItem* parentItem, const catalog::Tree& tree, catalog::NodeId node)
{
    for (const catalog::NodeId child : tree.children(node)) {
        auto* item = new BoxItem(tree.text(child), tree.image(child));
        parentItem->addChild(item);
        addChildren(item, tree, child);
    }
}

std::string boxPathOf(const QTreeWidgetItem* item)
{
    std::vector<const QTreeWidgetItem*> chain;
    for (; item != nullptr && item->parent() != nullptr; item = item->parent()) {
        chain.push_back(item);
    }
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path += (*it)->data(0, GbkRole).toByteArray().toStdString();
        path += '\\';
    }
    return path;
}

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

void fillBoxTree(QTreeWidget& view, const std::string& libraryRoot, const std::string& boxPathGbk)
{
    view.clear();
    catalog::Tree tree;
    const catalog::NodeId rootNode =
        tree.addChild(catalog::NoNode, std::string(catalog::LibraryRootCaption),
                      catalog::BoxNode::LibraryRoot, catalog::BoxNode::LibraryRoot);
    if (!libraryRoot.empty()) {
        catalog::LoadBoxTree(libraryRoot, tree, rootNode);
    }
    auto* rootItem = new BoxItem(tree.text(rootNode), catalog::BoxNode::LibraryRoot);
    view.addTopLevelItem(rootItem);
    addChildren(rootItem, tree, rootNode);
    view.sortItems(0, Qt::AscendingOrder);
    rootItem->setExpanded(true);

    QTreeWidgetItem* selected = rootItem;
    for (QTreeWidgetItemIterator it(&view); *it != nullptr; ++it) {
        if (boxPathOf(*it) == boxPathGbk) {
            selected = *it;
            break;
        }
    }
    view.setCurrentItem(selected);
    view.scrollToItem(selected);
}

std::string selectedBoxPath(const QTreeWidget& view)
{
    const auto selected = view.selectedItems();
    return selected.isEmpty() ? std::string() : boxPathOf(selected.front());
}

QValidator* makeNameValidator(const QString& forbidden, bool upperCase, QObject* parent)
{
    return new NameValidator(forbidden, upperCase, parent);
}

TNewCDsForm::TNewCDsForm(QWidget* parent) : QDialog(parent), m_ui(new Ui::TNewCDsForm)
{
    m_ui->setupUi(this);
    m_ui->Edit1->setValidator(makeNameValidator(QStringLiteral("\"\\/*?:><|"), false, this));
    connect(m_ui->Edit1, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_ui->BitBtn1->setEnabled(!text.isEmpty()); });
    connect(m_ui->BitBtn1, &QPushButton::clicked, this, &TNewCDsForm::accept);
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, &TNewCDsForm::reject);
}

TNewCDsForm::~TNewCDsForm() = default;

void TNewCDsForm::setLibraryRoot(const std::string& root)
{
    m_libraryRoot = root;
}

void TNewCDsForm::setParentPath(const std::string& boxPathGbk)
{
    m_parentPath = boxPathGbk;
}

std::string TNewCDsForm::nameGbk() const
{
    return app::toGbk(m_ui->Edit1->text());
}

void TNewCDsForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    fillBoxTree(*m_ui->TreeView1, m_libraryRoot, m_parentPath);
    m_ui->Edit1->setFocus();
}

void TNewCDsForm::accept()
{
    // The OK button is disabled without a name; Enter must not get around that.
    if (m_ui->Edit1->text().isEmpty()) {
        return;
    }
    m_parentPath = selectedBoxPath(*m_ui->TreeView1);
    QDialog::accept();
}

} // namespace scan
