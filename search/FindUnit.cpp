#include "search/FindUnit.h"

#include "search/index_keeper.h"

#include "ui_FindUnit.h"

#include "catalog/box_tree.h"
#include "catalog/cdinfo.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/tree.h"
#include "platform/clock.h"
#include "platform/user_dialogs.h"
#include "ui/gbk_text.h"
#include "ui/icons.h"
#include "ui/throttled_update.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShowEvent>
#include <QValidator>

#include <algorithm>
#include <functional>

namespace search {

namespace {

constexpr int CaptionRole = Qt::UserRole;  // GBK caption of a scope entry or box node
constexpr int KindRole = Qt::UserRole + 1; // ScopeKind of a scope entry

const QString CancelCaption = QStringLiteral("取消");
const QString AbortCaption = QStringLiteral("中止");

QString utf8(const char* text)
{
    return QString::fromUtf8(text);
}

// Characters that cannot stand in a name. Typed ones are dropped as they come; pasted
// ones are removed too, so the field never holds them.
class SearchTextValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override
    {
        static const QString forbidden = QStringLiteral("\"*/:<>?|");
        QString kept;
        kept.reserve(input.size());
        int newPos = pos;
        for (int i = 0; i < input.size(); ++i) {
            if (forbidden.contains(input.at(i))) {
                if (i < pos) {
                    --newPos;
                }
                continue;
            }
            kept.append(input.at(i));
        }
        input = kept;
        pos = newPos;
        return Acceptable;
    }
};

// Forwards drag and key events of one widget to the dialog's handlers.
class EventHook : public QObject
{
public:
    EventHook(QObject* parent, std::function<bool(QEvent*)> handler)
        : QObject(parent), m_handler(std::move(handler))
    {}
    bool eventFilter(QObject*, QEvent* event) override { return m_handler(event); }

private:
    std::function<bool(QEvent*)> m_handler;
};

double dayNumber(const QDateTime& value)
{
    const QDate date = value.date();
    const QTime time = value.time();
    return catalog::ToDayNumber(
               {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()}) +
           time.msec() / 86400000.0;
}

std::string joinedCaption(const std::string& nodePathGbk)
{
    // "Orlendy\" + path, without the path's trailing backslash ("Orlendy" for the root).
    std::string caption = std::string(catalog::LibraryRootCaption) + "\\" + nodePathGbk;
    caption.pop_back();
    return caption;
}

} // namespace

struct TFindForm::Private : public SearchProgress
{
    TFindForm* q = nullptr;
    platform::UserDialogs& dialogs;
    const platform::Clock& clock;
    std::string libraryRoot;
    IndexKeeper* indexKeeper = nullptr;
    std::string initialBoxPathGbk;
    bool done = false;
    bool abort = false;
    bool running = false;
    SearchOutcome outcome;
    QElapsedTimer pumpTimer;
    // The run's latest status, caption and hit, brought to the screen at a bounded rate.
    std::string statusGbk;
    std::string captionGbk;
    QTreeWidgetItem* lastFound = nullptr;
    ui::ThrottledUpdate statusUpdate;
    ui::ThrottledUpdate captionUpdate;
    ui::ThrottledUpdate foundUpdate;

    Private(TFindForm* form, platform::UserDialogs& d, const platform::Clock& c)
        : q(form), dialogs(d), clock(c),
          statusUpdate([this] { q->m_ui->StatusBar1->showMessage(ui::fromGbk(statusGbk)); }),
          captionUpdate([this] { q->setWindowTitle(ui::fromGbk(captionGbk)); }),
          foundUpdate([this] {
              q->m_ui->ListView2->setCurrentItem(lastFound);
              q->m_ui->ListView2->scrollToItem(lastFound);
          })
    {}

    void status(const std::string& textGbk) override
    {
        statusGbk = textGbk;
        statusUpdate.request();
    }
    void caption(const std::string& textGbk) override
    {
        captionGbk = textGbk;
        captionUpdate.request();
    }
    void found(const std::string& relativeNameGbk) override
    {
        lastFound = new QTreeWidgetItem(q->m_ui->ListView2);
        lastFound->setText(0, ui::fromGbk(relativeNameGbk));
        lastFound->setIcon(0, ui::cdListIcon(catalog::ListItem::CdRecord));
        foundUpdate.request();
    }
    bool aborted() override
    {
        // The first check pumps at once, later ones every PumpIntervalMs.
        if (!pumpTimer.isValid() || pumpTimer.elapsed() >= TFindForm::PumpIntervalMs) {
            QCoreApplication::processEvents();
            pumpTimer.start();
        }
        return abort;
    }
    // The run ended: its last hit in view; the idle state gives caption and status.
    void settleUpdates()
    {
        foundUpdate.flush();
        captionUpdate.cancel();
        statusUpdate.cancel();
    }
};

TFindForm::TFindForm(platform::UserDialogs& dialogs, const platform::Clock& clock, QWidget* parent)
    : QDialog(parent), m_ui(new Ui::TFindForm), d(new Private(this, dialogs, clock))
{
    m_ui->setupUi(this);
    Ui::TFindForm& ui = *m_ui;

    ui.ComboBox1->addItems(
        {utf8("一年以上"), utf8("两年以上"), utf8("一年内"), utf8("半年内"), utf8("一个月内")});
    ui.cdstyle->addItems({QString(), utf8("一般光盘"), utf8("蓝盘"), utf8("金盘"), utf8("刻录盘")});
    ui.cdzl->addItems(
        {QString(), utf8("一般"), utf8("差"), utf8("烂盘"), utf8("好"), utf8("很好")});
    ui.cdstat->addItems({QString(), utf8("保存中"), utf8("借出"), utf8("遗失")});
    ui.cdxz->addItems({QString(), utf8("一般"), utf8("非常重要"), utf8("重要"), utf8("无所谓")});
    for (QComboBox* list : {ui.ComboBox1, ui.cdstyle, ui.cdzl, ui.cdstat, ui.cdxz}) {
        list->setCurrentIndex(0);
    }
    for (QComboBox* list : {ui.cdstyle, ui.cdzl, ui.cdstat, ui.cdxz}) {
        list->lineEdit()->setMaxLength(12);
    }

    // Set once per program run: the pickers keep what the user chose between showings.
    const platform::LocalDateTime now = clock.now();
    const QDateTime created(QDate(now.year, now.month, now.day),
                            QTime(now.hour, now.minute, now.second, now.millisecond));
    ui.DateTimePicker1->setDateTime(created);
    ui.DateTimePicker2->setDateTime(created);

    ui.Edit1->setValidator(new SearchTextValidator(ui.Edit1));
    connect(ui.Edit1, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_ui->CheckBox2->setText(utf8("光盘内容 包含 ") + text);
        m_ui->CheckBox3->setText(utf8("光盘名称 包含 ") + text);
        m_ui->CheckBox4->setText(utf8("光盘描述 包含 ") + text);
        m_ui->CheckBox5->setText(utf8("光盘内部描述 包含 ") + text);
    });

    // The only-nodes option exists only while the content switch is the only one on.
    const auto switchChanged = [this] {
        const bool contentOnly = m_ui->CheckBox2->isChecked() && !m_ui->CheckBox3->isChecked() &&
                                 !m_ui->CheckBox4->isChecked() && !m_ui->CheckBox5->isChecked();
        for (QWidget* part :
             std::initializer_list<QWidget*>{m_ui->CheckBox1, m_ui->Label1, m_ui->Label2}) {
            part->setVisible(contentOnly);
        }
        m_ui->CheckBox1->setChecked(contentOnly);
    };
    for (QCheckBox* box : {ui.CheckBox2, ui.CheckBox3, ui.CheckBox4, ui.CheckBox5}) {
        connect(box, &QCheckBox::toggled, this, switchChanged);
    }

    const auto dateModeChanged = [this] {
        const bool between = m_ui->RadioButton1->isChecked();
        m_ui->DateTimePicker1->setEnabled(between);
        m_ui->DateTimePicker2->setEnabled(between);
        m_ui->Label12->setEnabled(between);
        m_ui->ComboBox1->setEnabled(!between);
    };
    connect(ui.RadioButton1, &QRadioButton::toggled, this, dateModeChanged);
    dateModeChanged();

    connect(ui.Button1, &QPushButton::clicked, this, [this] { addSelectedBox(); });
    connect(ui.Button2, &QPushButton::clicked, this, [this] { removeSelectedScope(); });
    connect(ui.Button3, &QPushButton::clicked, this, [this] { m_ui->ListView1->clear(); });
    connect(ui.button4, &QPushButton::clicked, this, [this] { checkScope(); });
    connect(ui.BitBtn1, &QPushButton::clicked, this, &TFindForm::BitBtn1Click);
    connect(ui.BitBtn2, &QPushButton::clicked, this, &TFindForm::reject);

    // Drags: boxes go from the tree to the scope list, scope entries go back to the tree
    // or onto the dialog's background, which removes them.
    const auto dropHook = [this](QWidget* source, std::function<void()> action) {
        return [this, source, action](QEvent* event) {
            switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* drag = static_cast<QDragMoveEvent*>(event);
                if (drag->source() == source && !d->running) {
                    drag->acceptProposedAction();
                } else {
                    drag->ignore();
                }
                return true;
            }
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                if (drop->source() != source || d->running) {
                    drop->ignore();
                    return true;
                }
                drop->acceptProposedAction();
                action();
                return true;
            }
            default:
                return false;
            }
        };
    };
    ui.ListView1->setDragDropMode(QAbstractItemView::DragOnly);
    ui.TreeView1->setDragDropMode(QAbstractItemView::DragOnly);
    ui.ListView1->viewport()->setAcceptDrops(true);
    ui.TreeView1->viewport()->setAcceptDrops(true);
    ui.ListView1->viewport()->installEventFilter(
        new EventHook(this, dropHook(ui.TreeView1, [this] { addSelectedBox(); })));
    ui.TreeView1->viewport()->installEventFilter(
        new EventHook(this, dropHook(ui.ListView1, [this] { removeSelectedScope(); })));
    installEventFilter(
        new EventHook(this, dropHook(ui.ListView1, [this] { removeSelectedScope(); })));
    ui.ListView1->installEventFilter(new EventHook(this, [this](QEvent* event) {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
            removeSelectedScope();
            return true;
        }
        return false;
    }));
}

TFindForm::~TFindForm() = default;

void TFindForm::setLibraryRoot(const std::string& root, IndexKeeper* indexKeeper)
{
    d->libraryRoot = root;
    d->indexKeeper = indexKeeper;
}

void TFindForm::setInitialBoxPath(const std::string& boxPathGbk)
{
    d->initialBoxPathGbk = boxPathGbk;
}

void TFindForm::clearScope()
{
    m_ui->ListView1->clear();
}

void TFindForm::addScopeEntry(const ScopeEntry& entry)
{
    auto* item = new QTreeWidgetItem(m_ui->ListView1);
    item->setText(0, ui::fromGbk(entry.captionGbk));
    item->setData(0, CaptionRole, QByteArray::fromStdString(entry.captionGbk));
    item->setData(0, KindRole, static_cast<int>(entry.kind));
    switch (entry.kind) {
    case ScopeKind::Library:
        item->setIcon(0, ui::boxTreeIcon(catalog::BoxNode::LibraryRoot));
        break;
    case ScopeKind::Box:
        item->setIcon(0, ui::boxTreeIcon(catalog::BoxNode::Box));
        break;
    case ScopeKind::Cd:
        item->setIcon(0, ui::cdListIcon(catalog::ListItem::CdRecord));
        break;
    }
}

std::vector<ScopeEntry> TFindForm::scope() const
{
    std::vector<ScopeEntry> entries;
    QTreeWidget* list = m_ui->ListView1;
    entries.reserve(static_cast<std::size_t>(list->topLevelItemCount()));
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        entries.push_back({item->data(0, CaptionRole).toByteArray().toStdString(),
                           static_cast<ScopeKind>(item->data(0, KindRole).toInt())});
    }
    return entries;
}

bool TFindForm::done() const
{
    return d->done;
}

const SearchOutcome& TFindForm::outcome() const
{
    return d->outcome;
}

bool TFindForm::textPageActive() const
{
    return m_ui->PageControl1->currentWidget() == m_ui->TabSheet1;
}

std::string TFindForm::searchTextGbk() const
{
    return ui::toGbk(m_ui->Edit1->text());
}

void TFindForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    Ui::TFindForm& ui = *m_ui;
    ui.TreeView1->clear();
    ui.ListView2->clear();

    catalog::Tree boxes;
    const catalog::NodeId root =
        boxes.addChild(catalog::NoNode, std::string(catalog::LibraryRootCaption),
                       catalog::BoxNode::LibraryRoot, catalog::BoxNode::LibraryRoot);
    if (!d->libraryRoot.empty()) {
        try {
            catalog::LoadBoxTree(d->libraryRoot, boxes, root);
        } catch (const std::exception& error) {
            d->dialogs.message(error.what(), platform::MessageIcon::Error);
        }
    }
    catalog::SortBoxTree(boxes);

    QTreeWidgetItem* initial = nullptr;
    const std::function<void(catalog::NodeId, QTreeWidgetItem*)> add =
        [&](catalog::NodeId node, QTreeWidgetItem* parent) {
            auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(ui.TreeView1);
            item->setText(0, ui::fromGbk(boxes.text(node)));
            item->setData(0, CaptionRole, QByteArray::fromStdString(boxes.text(node)));
            item->setIcon(0, ui::boxTreeIcon(boxes.image(node)));
            if (!initial && catalog::NodePath(boxes, node) == d->initialBoxPathGbk) {
                initial = item;
            }
            for (const catalog::NodeId child : boxes.children(node)) {
                add(child, item);
            }
        };
    add(root, nullptr);
    ui.TreeView1->topLevelItem(0)->setExpanded(true);
    // The root's path is empty, so an empty initial path selects the root.
    ui.TreeView1->setCurrentItem(nullptr);
    ui.TreeView1->clearSelection();
    if (initial) {
        ui.TreeView1->setCurrentItem(initial);
        ui.TreeView1->scrollToItem(initial);
    }
    d->done = false;
}

void TFindForm::reject()
{
    if (m_ui->BitBtn2->text() == AbortCaption) {
        if (d->dialogs.ask("中止查找进程？", platform::MessageIcon::Question,
                           platform::UserDialogs::Default::No)) {
            d->abort = true;
        }
        return;
    }
    d->done = false;
    QDialog::reject();
}

void TFindForm::addSelectedBox()
{
    const QList<QTreeWidgetItem*> selected = m_ui->TreeView1->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    std::string pathGbk;
    for (const QTreeWidgetItem* item = selected.first(); item && item->parent();
         item = item->parent()) {
        pathGbk = item->data(0, CaptionRole).toByteArray().toStdString() + "\\" + pathGbk;
    }
    const std::string captionGbk = joinedCaption(pathGbk);
    for (const ScopeEntry& entry : scope()) {
        if (Covers(entry, captionGbk)) {
            d->dialogs.message(ui::fromGbk(entry.captionGbk).toStdString() + "\r已包含\r" +
                                   ui::fromGbk(captionGbk).toStdString(),
                               platform::MessageIcon::Warning);
            return;
        }
    }
    addScopeEntry({captionGbk, captionGbk == catalog::LibraryRootCaption ? ScopeKind::Library
                                                                         : ScopeKind::Box});
}

void TFindForm::removeSelectedScope()
{
    qDeleteAll(m_ui->ListView1->selectedItems());
}

int TFindForm::markRedundantScope()
{
    QTreeWidget* list = m_ui->ListView1;
    list->clearSelection();
    const std::vector<std::size_t> redundant = RedundantEntries(scope());
    for (const std::size_t index : redundant) {
        list->topLevelItem(static_cast<int>(index))->setSelected(true);
    }
    return static_cast<int>(redundant.size());
}

void TFindForm::checkScope()
{
    const int redundant = markRedundantScope();
    if (redundant == 0) {
        d->dialogs.message("没有重复的范围!", platform::MessageIcon::Information);
        return;
    }
    if (d->dialogs.ask("共查到 " + std::to_string(redundant) + " 条重复范围! 删除？",
                       platform::MessageIcon::Warning)) {
        removeSelectedScope();
    }
}

SearchRequest TFindForm::request() const
{
    const Ui::TFindForm& ui = *m_ui;
    SearchRequest request;
    request.kind = static_cast<SearchKind>(ui.PageControl1->currentIndex());

    TextCriteria& text = request.text;
    text.searchTextGbk = searchTextGbk();
    text.termsGbk = SplitTerms(text.searchTextGbk);
    text.content = ui.CheckBox2->isChecked();
    text.name = ui.CheckBox3->isChecked();
    text.description = ui.CheckBox4->isChecked();
    text.internal = ui.CheckBox5->isChecked();
    text.onlyNodes = !ui.CheckBox1->isHidden() && ui.CheckBox1->isChecked();
    text.pinyin = ui.CheckBox6->isChecked();

    DateCriteria& date = request.date;
    date.between = ui.RadioButton1->isChecked();
    date.first = dayNumber(ui.DateTimePicker1->dateTime());
    date.second = dayNumber(ui.DateTimePicker2->dateTime());
    date.age = static_cast<AgeRange>(std::max(0, ui.ComboBox1->currentIndex()));
    date.today = d->clock.now();

    FieldCriteria& fields = request.fields;
    fields.cdno = ui::toGbk(ui.cdno->text());
    fields.cdowner = ui::toGbk(ui.cdowner->text());
    fields.cdbuyaddr = ui::toGbk(ui.cdbuyaddr->text());
    fields.cdother = ui::toGbk(ui.cdother->text());
    fields.cdstyle = ui::toGbk(ui.cdstyle->currentText());
    fields.cdstat = ui::toGbk(ui.cdstat->currentText());
    fields.cdzl = ui::toGbk(ui.cdzl->currentText());
    fields.cdxz = ui::toGbk(ui.cdxz->currentText());

    request.scope = scope();
    return request;
}

void TFindForm::setSearching(bool searching)
{
    Ui::TFindForm& ui = *m_ui;
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui.PageControl1, ui.ListView1, ui.TreeView1, ui.Button1, ui.Button2, ui.Button3,
             ui.button4, ui.BitBtn1, ui.BitBtn2}) {
        control->setEnabled(!searching);
    }
    if (searching) {
        ui.BitBtn2->setText(AbortCaption);
        ui.ListView2->clear();
        ui.ListView2->show();
        ui.ListView2->raise();
        ui.ListView2->setEnabled(true);
        ui.BitBtn2->setEnabled(true);
    } else {
        ui.BitBtn2->setText(CancelCaption);
        ui.StatusBar1->clearMessage();
        setWindowTitle(utf8("查找"));
        ui.ListView2->hide();
    }
}

void TFindForm::BitBtn1Click()
{
    if (d->running) {
        return;
    }
    Ui::TFindForm& ui = *m_ui;
    const auto refuse = [this](const char* text) {
        d->dialogs.message(text, platform::MessageIcon::Warning);
    };
    if (ui.ListView1->topLevelItemCount() == 0) {
        refuse("没有指定查找的范围！请添加！");
        return;
    }
    const bool textPage = textPageActive();
    if (textPage && ui.Edit1->text().isEmpty()) {
        refuse("没有查找文字！");
        ui.Edit1->setFocus();
        return;
    }
    if (textPage && !ui.CheckBox2->isChecked() && !ui.CheckBox3->isChecked() &&
        !ui.CheckBox4->isChecked() && !ui.CheckBox5->isChecked()) {
        refuse("没有查找目标！");
        return;
    }
    if (textPage && SplitTerms(searchTextGbk()).empty()) {
        refuse("输入的查找条件不合法！");
        ui.Edit1->setFocus();
        return;
    }
    if (markRedundantScope() > 0) {
        removeSelectedScope();
    }

    SearchRequest searchRequest = request();
    const auto index = d->indexKeeper != nullptr ? d->indexKeeper->open() : nullptr;
    searchRequest.index = index.get();
    d->abort = false;
    d->outcome = SearchOutcome{};
    d->pumpTimer.invalidate();
    d->lastFound = nullptr;
    d->running = true;
    setSearching(true);
    bool failed = false;
    std::string errorText;
    try {
        d->outcome = RunSearch(d->libraryRoot, searchRequest, *d);
        if (d->indexKeeper != nullptr) {
            d->indexKeeper->refresh(std::move(d->outcome.staleRecords),
                                    std::move(d->outcome.listedFolders));
        }
    } catch (const std::exception& error) {
        failed = true;
        errorText = error.what();
    }
    d->settleUpdates();
    setSearching(false);
    d->running = false;
    if (failed) {
        d->dialogs.message(errorText, platform::MessageIcon::Error);
    }
    if (d->abort || d->outcome.aborted || failed) {
        // The run's results stay on disk; the dialog waits for the next command.
        d->abort = false;
        return;
    }
    d->done = true;
    accept();
}

} // namespace search
