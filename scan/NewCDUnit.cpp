#include "scan/NewCDUnit.h"

#include "catalog/record_set.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/text.h"
#include "platform/drives.h"
#include "platform/settings_store.h"
#include "platform/user_dialogs.h"
#include "scan/scanner.h"
#include "ui/box_tree_picker.h"
#include "ui/gbk_text.h"
#include "ui/name_validator.h"
#include "ui/throttled_update.h"
#include "ui_NewCDUnit.h"

#include <QCoreApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>

#include <optional>
#include <stdexcept>

namespace scan {
namespace {

constexpr int CollapsedWidth = 350;
constexpr int ExpandedWidth = 600;
// Pumping the event loop once per entry would cost more than the scan itself.
constexpr qint64 PumpIntervalMs = 15;

const QString ExpandCaption = QStringLiteral("高级 >>");
const QString CollapseCaption = QStringLiteral("<< 标准");
const QString CancelCaption = QStringLiteral("取消");
const QString AbortCaption = QStringLiteral("中止");

constexpr std::string_view DoorValue = "新增完成后打开光驱门";

constexpr const char* SpeedText =
    "关于速度，我有不得不说的话！本来可以做到10秒读盘！(快的可达到5秒内)\r\r"
    "遗憾的是：得到的文件和文件夹杂乱无章！\r"
    "文件在上，文件夹在下，而且杂乱无章，不符合我们的视觉习惯！\r\r"
    "所以只好牺牲一点点速度来成全排序问题了！\r"
    "不过所辛，速度还是很快！15秒内一般都可以完成。";

std::string utf8(const QString& text)
{
    return text.toStdString();
}

// The scan's link to the dialog: the status bar shows the path being read, and the
// event loop runs between folder entries so that the abort button can be pressed.
class DialogProgress : public ScanProgress
{
public:
    DialogProgress(QStatusBar& bar, const bool& abortFlag)
        : m_abortFlag(abortFlag),
          m_pathUpdate([this, &bar] { bar.showMessage(ui::fromGbk(m_pathGbk)); })
    {}

    void showPath(const std::string& pathGbk) override
    {
        m_pathGbk = pathGbk;
        m_pathUpdate.request();
    }

    bool aborted() override
    {
        if (!m_pumped.isValid() || m_pumped.elapsed() >= PumpIntervalMs) {
            QCoreApplication::processEvents();
            m_pumped.restart();
        }
        return m_abortFlag;
    }

private:
    const bool& m_abortFlag;
    QElapsedTimer m_pumped;
    std::string m_pathGbk;
    ui::ThrottledUpdate m_pathUpdate;
};

// A record of that name in the folder, whatever the case of name or extension: a library
// must stay usable on the case-insensitive file systems such libraries come from.
QString readDiscText(platform::DiscSource& disc, const std::string& relativeUtf8)
{
    std::string content;
    if (relativeUtf8.empty() || !disc.readFile(relativeUtf8, content)) {
        return {};
    }
    if (catalog::isValidUtf8(content)) {
        return QString::fromUtf8(content.data(), static_cast<qsizetype>(content.size()));
    }
    return ui::fromGbk(content);
}

bool hasForbiddenCharacter(std::string_view nameGbk)
{
    // A trail byte may be a backslash or '|': test single-byte characters only.
    for (std::size_t i = 0; i < nameGbk.size(); i += catalog::gbkCharLength(nameGbk, i)) {
        if (catalog::gbkCharLength(nameGbk, i) == 1 &&
            std::string_view("*/:<>?\\|").find(nameGbk[i]) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

bool containsNoCase(const QListWidget& list, const QString& text)
{
    for (int row = 0; row < list.count(); ++row) {
        if (list.item(row)->text().compare(text, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

struct TNewCDForm::Private
{
    Private(platform::Drives& drives_, platform::SettingsStore& settings_,
            platform::UserDialogs& dialogs_)
        : drives(drives_), settings(settings_), dialogs(dialogs_)
    {}

    platform::Drives& drives;
    platform::SettingsStore& settings;
    platform::UserDialogs& dialogs;
    std::string libraryRoot;
    std::string presetBox;
    std::string targetBox;
    bool cdAdded = false;
    bool expanded = false;
    bool scanning = false;
    bool scanAborted = false;
    QString readme;
    int renamed = 0;
    // What the selected drive held at the last look: media notifications come for every
    // block device, and only a change in this drive may touch the name.
    bool discWasPresent = false;
    std::string lastLabel;
    // Every control that a scan disables (BitBtn2 and the status bar stay alive).
    std::vector<QWidget*> controls;
};

TNewCDForm::TNewCDForm(platform::Drives& drives, platform::SettingsStore& settings,
                       platform::UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_ui(new Ui::TNewCDForm), d(new Private(drives, settings, dialogs))
{
    m_ui->setupUi(this);
    d->controls = {m_ui->Label1,       m_ui->Edit1,        m_ui->Label2,       m_ui->ComboBox1,
                   m_ui->SpeedButton8, m_ui->SpeedButton9, m_ui->Label3,       m_ui->TreeView1,
                   m_ui->closedoor,    m_ui->BitBtn1,      m_ui->SpeedButton1, m_ui->SpeedButton7,
                   m_ui->GroupBox1};

    m_ui->ComboBox2->setCurrentIndex(0);
    m_ui->closedoor->setChecked(settings.readInteger(catalog::SoftwareKey, DoorValue, 1) == 1);
    m_ui->GroupBox1->setVisible(false);

    m_ui->Edit1->setValidator(ui::makeNameValidator(QStringLiteral("*/:<>?\\|"), false, this));
    m_ui->Edit2->setValidator(ui::makeNameValidator(QStringLiteral("\"/:<>\\|"), true, this));
    m_ui->Edit2->installEventFilter(this);
    m_ui->ListBox1->installEventFilter(this);
    for (QListWidget* list : {m_ui->ListBox1, m_ui->ListBox2}) {
        list->setDragEnabled(true);
        list->setDragDropMode(QAbstractItemView::DragDrop);
        list->setDefaultDropAction(Qt::CopyAction);
        list->viewport()->setAcceptDrops(true);
        list->viewport()->installEventFilter(this);
    }

    connect(m_ui->Edit1, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_ui->BitBtn1->setEnabled(!text.isEmpty()); });
    connect(m_ui->ComboBox1, &QComboBox::currentIndexChanged, this, &TNewCDForm::driveChosen);
    connect(m_ui->BitBtn1, &QPushButton::clicked, this, &TNewCDForm::start);
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, &TNewCDForm::reject);
    connect(m_ui->SpeedButton1, &QToolButton::clicked, this, [this] { setExpanded(!d->expanded); });
    connect(m_ui->SpeedButton7, &QToolButton::clicked, this,
            [this] { d->dialogs.message(SpeedText, platform::MessageIcon::Information); });
    connect(m_ui->SpeedButton8, &QToolButton::clicked, this, [this] {
        if (const char letter = selectedDrive()) {
            d->drives.setDriveDoor(letter, true);
        }
    });
    connect(m_ui->SpeedButton9, &QToolButton::clicked, this, [this] {
        if (const char letter = selectedDrive()) {
            d->drives.setDriveDoor(letter, false);
        }
    });
    connect(m_ui->closedoor, &QCheckBox::clicked, this, [this](bool checked) {
        try {
            d->settings.writeInteger(catalog::SoftwareKey, DoorValue, checked ? 1 : 0);
        } catch (const std::runtime_error& error) {
            d->dialogs.message(error.what(), platform::MessageIcon::Error);
        }
    });

    connect(m_ui->ComboBox2, &QComboBox::activated, this, [this] { m_ui->cs->setChecked(true); });
    connect(m_ui->SpeedButton2, &QToolButton::clicked, this, &TNewCDForm::addTypedMask);
    connect(m_ui->SpeedButton6, &QToolButton::clicked, this, [this] { addOfferedMasks(true); });
    connect(m_ui->ListBox2, &QListWidget::itemDoubleClicked, this,
            [this] { addOfferedMasks(true); });
    connect(m_ui->SpeedButton5, &QToolButton::clicked, this, [this] { addOfferedMasks(false); });
    connect(m_ui->SpeedButton3, &QToolButton::clicked, this, &TNewCDForm::removeChosenMasks);
    connect(m_ui->ListBox1, &QListWidget::itemDoubleClicked, this, &TNewCDForm::removeChosenMasks);
    connect(m_ui->SpeedButton4, &QToolButton::clicked, m_ui->ListBox1, &QListWidget::clear);
    for (QCheckBox* box : {m_ui->CheckBox1, m_ui->CheckBox2, m_ui->CheckBox3, m_ui->CheckBox4}) {
        connect(box, &QCheckBox::clicked, this, [this] { m_ui->filetype->setChecked(true); });
    }
}

TNewCDForm::~TNewCDForm() = default;

void TNewCDForm::setLibraryRoot(const std::string& root)
{
    d->libraryRoot = root;
}

void TNewCDForm::setPresetBox(const std::string& boxPathGbk)
{
    d->presetBox = boxPathGbk;
}

void TNewCDForm::setDriveLetters(const std::vector<char>& letters)
{
    // Filling the list is not the user choosing a drive: the name stays.
    const QSignalBlocker blocker(m_ui->ComboBox1);
    m_ui->ComboBox1->clear();
    for (const char letter : letters) {
        m_ui->ComboBox1->addItem(QString(QLatin1Char(letter)) + QStringLiteral(": 驱"));
    }
    rememberDiscState();
}

void TNewCDForm::selectDrive(int index)
{
    const QSignalBlocker blocker(m_ui->ComboBox1);
    m_ui->ComboBox1->setCurrentIndex(index);
    rememberDiscState();
}

void TNewCDForm::setCdName(const std::string& nameUtf8)
{
    m_ui->Edit1->setText(QString::fromStdString(nameUtf8));
}

bool TNewCDForm::cdAdded() const
{
    return d->cdAdded;
}

const std::string& TNewCDForm::targetBox() const
{
    return d->targetBox;
}

std::string TNewCDForm::cdNameGbk() const
{
    return ui::toGbk(m_ui->Edit1->text());
}

char TNewCDForm::selectedDrive() const
{
    const QString item = m_ui->ComboBox1->currentText();
    return item.isEmpty() ? 0 : item.front().toLatin1();
}

bool TNewCDForm::openDoorWhenAdded() const
{
    return m_ui->closedoor->isChecked();
}

std::vector<std::string> TNewCDForm::optionLines() const
{
    std::vector<std::string> lines;
    if (!d->expanded) {
        return lines;
    }
    if (m_ui->cs->isChecked()) {
        lines.push_back("提取层数: " + utf8(m_ui->ComboBox2->currentText()));
    }
    if (m_ui->ListBox1->count() > 0) {
        lines.push_back("文件类型: " + scanMask());
    }
    if (m_ui->filetype->isChecked()) {
        std::string line = "文件属性： ";
        const std::pair<const QCheckBox*, const char*> boxes[] = {{m_ui->CheckBox1, " 存档文件"},
                                                                  {m_ui->CheckBox2, " 只读文件"},
                                                                  {m_ui->CheckBox3, " 系统文件"},
                                                                  {m_ui->CheckBox4, " 隐含文件"}};
        for (const auto& [box, text] : boxes) {
            if (box->isChecked()) {
                line += text;
            }
        }
        lines.push_back(line);
    }
    return lines;
}

const QString& TNewCDForm::readmeText() const
{
    return d->readme;
}

int TNewCDForm::renamedNames() const
{
    return d->renamed;
}

void TNewCDForm::mediaChanged()
{
    const char letter = selectedDrive();
    if (letter == 0) {
        return;
    }
    const bool present = d->drives.discPresent(letter);
    const std::string label = present ? d->drives.volumeLabel(letter) : std::string();
    if (present && (!d->discWasPresent || label != d->lastLabel)) {
        m_ui->Edit1->setText(QString::fromStdString(label));
    } else if (!present && d->discWasPresent) {
        m_ui->Edit1->clear();
    }
    d->discWasPresent = present;
    d->lastLabel = label;
}

void TNewCDForm::driveChosen()
{
    const char letter = selectedDrive();
    if (letter != 0 && d->drives.discPresent(letter)) {
        m_ui->Edit1->setText(QString::fromStdString(d->drives.volumeLabel(letter)));
    } else {
        m_ui->Edit1->clear();
    }
    rememberDiscState();
}

void TNewCDForm::rememberDiscState()
{
    const char letter = selectedDrive();
    d->discWasPresent = letter != 0 && d->drives.discPresent(letter);
    d->lastLabel = d->discWasPresent ? d->drives.volumeLabel(letter) : std::string();
}

bool TNewCDForm::nameAcceptable(const std::string& nameUtf8)
{
    // The field refuses these as they are typed, but a volume label or a preset name
    // reaches it unchecked, and a "/" or "\" would put the record outside its box.
    const auto converted = catalog::utf8ToGbkCounted(nameUtf8);
    if (hasForbiddenCharacter(converted.gbk) || converted.replaced > 0 ||
        !catalog::IsSafeName(converted.gbk)) {
        d->dialogs.message(catalog::NameRefusalMessage(catalog::NameUse::Cd),
                           platform::MessageIcon::Error);
        return false;
    }
    return true;
}

void TNewCDForm::start()
{
    const char letter = selectedDrive();
    if (d->scanning || letter == 0 || m_ui->Edit1->text().isEmpty()) {
        return;
    }
    std::unique_ptr<platform::DiscSource> disc;
    while (!d->drives.discPresent(letter) || !(disc = d->drives.openDisc(letter))) {
        if (!d->dialogs.ask("没有光盘在 " + utf8(m_ui->ComboBox1->currentText()) +
                                " 里! 请放入光盘按是开始!",
                            platform::MessageIcon::Warning)) {
            return;
        }
    }

    const std::string nameUtf8 = utf8(m_ui->Edit1->text());
    if (!nameAcceptable(nameUtf8)) {
        return;
    }
    const std::string nameGbk = ui::toGbk(m_ui->Edit1->text());
    const std::string boxPath = ui::selectedBoxPath(*m_ui->TreeView1);
    const catalog::RecordRef record{catalog::LibraryPath(d->libraryRoot, boxPath), nameGbk};
    const std::string nameTaken = "已有光盘:" + nameUtf8 + "!请另取一名称!";
    if (catalog::RecordNameTaken(record.folder, nameGbk)) {
        d->dialogs.message(nameTaken, platform::MessageIcon::Warning);
        return;
    }

    std::optional<ScanOptions> filtered;
    if (d->expanded) {
        ScanOptions options;
        options.depthLimit = m_ui->cs->isChecked() ? m_ui->ComboBox2->currentIndex() + 1 : -1;
        options.mask = scanMask();
        unsigned attributes = 0;
        if (m_ui->filetype->isChecked()) {
            attributes |= m_ui->CheckBox1->isChecked() ? AttrArchive : 0;
            attributes |= m_ui->CheckBox2->isChecked() ? AttrReadOnly : 0;
            attributes |= m_ui->CheckBox3->isChecked() ? AttrSystem : 0;
            attributes |= m_ui->CheckBox4->isChecked() ? AttrHidden : 0;
        }
        options.attributes = attributes == 0 ? AttrNormal : attributes;
        filtered = options;
    }

    d->cdAdded = false;
    d->scanAborted = false;
    setScanning(true);
    ScanRun run;
    try {
        // Gone with the run, so no path it held back reaches the bar afterwards.
        DialogProgress progress(*m_ui->StatusBar1, d->scanAborted);
        run = RunScan(*disc, letter, filtered, record, progress);
    } catch (const std::exception& error) {
        // Nothing usable was saved: the user may free space or pick another box.
        setScanning(false);
        d->dialogs.message(error.what(), platform::MessageIcon::Error);
        return;
    }
    setScanning(false);

    switch (run.ending) {
    case ScanEnding::Aborted:
        return;
    case ScanEnding::NothingMatched:
        d->dialogs.message("这张光盘找不到匹配你要求的文件！！！", platform::MessageIcon::Warning);
        return;
    case ScanEnding::NameTaken: // by another writer while this disc was read
        d->dialogs.message(nameTaken, platform::MessageIcon::Warning);
        return;
    case ScanEnding::Saved:
        break;
    }
    d->targetBox = boxPath;
    d->cdAdded = true;
    d->renamed = run.renamed;
    d->readme = readDiscText(*disc, run.readmeUtf8);
    accept();
}

bool TNewCDForm::dropOnList(const QObject* source, const QObject* target)
{
    if (target == m_ui->ListBox1 && source == m_ui->ListBox2) {
        addOfferedMasks(true);
        return true;
    }
    if (target == m_ui->ListBox2 && source == m_ui->ListBox1) {
        removeChosenMasks();
        return true;
    }
    return false;
}

void TNewCDForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    d->readme.clear();
    d->cdAdded = false;
    setExpanded(false);
    ui::fillBoxTree(*m_ui->TreeView1, d->libraryRoot, d->presetBox);
    if (m_ui->ListBox1->count() > 0) {
        m_ui->ListBox1->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    }
    m_ui->Edit2->setText(QStringLiteral("*."));
    rememberDiscState();
    m_ui->Edit1->setFocus();
}

void TNewCDForm::reject()
{
    if (d->scanning) {
        // The scan sees the flag at its next folder entry; the dialog stays open.
        if (d->dialogs.ask("中止新增一张光盘？", platform::MessageIcon::Question,
                           platform::UserDialogs::Default::No)) {
            d->scanAborted = true;
        }
        return;
    }
    d->cdAdded = false;
    d->targetBox.clear();
    QDialog::reject();
}

bool TNewCDForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->Edit2) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            // Enter adds the mask; it must not reach the dialog's default button.
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                addTypedMask();
                return true;
            }
        } else if (event->type() == QEvent::FocusIn &&
                   m_ui->Edit2->text() == QStringLiteral("*.")) {
            // After the line edit's own focus handling, which may select everything.
            QTimer::singleShot(0, m_ui->Edit2, [edit = m_ui->Edit2] {
                edit->setCursorPosition(edit->text().size());
            });
        }
        return false;
    }
    if (watched == m_ui->ListBox1 && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        removeChosenMasks();
        return true;
    }
    for (QListWidget* list : {m_ui->ListBox1, m_ui->ListBox2}) {
        if (watched != list->viewport()) {
            continue;
        }
        const QWidget* other = list == m_ui->ListBox1 ? m_ui->ListBox2 : m_ui->ListBox1;
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (drag->source() == other) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (dropOnList(drop->source(), list)) {
                // Copy, so that the source view does not remove the dragged rows itself.
                drop->setDropAction(Qt::CopyAction);
                drop->accept();
            } else {
                drop->ignore();
            }
            return true;
        }
        default:
            return false;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TNewCDForm::setExpanded(bool expanded)
{
    d->expanded = expanded;
    m_ui->GroupBox1->setVisible(expanded);
    m_ui->SpeedButton1->setText(expanded ? CollapseCaption : ExpandCaption);
    // The minimum width follows the panel; settle it before asking for the width.
    layout()->activate();
    resize(expanded ? ExpandedWidth : CollapsedWidth, height());
}

void TNewCDForm::setScanning(bool on)
{
    d->scanning = on;
    for (QWidget* control : d->controls) {
        control->setEnabled(!on);
    }
    if (!on) {
        // A media notification may have emptied the name during the scan.
        m_ui->BitBtn1->setEnabled(!m_ui->Edit1->text().isEmpty());
    }
    m_ui->BitBtn2->setEnabled(true);
    m_ui->BitBtn2->setText(on ? AbortCaption : CancelCaption);
    m_ui->StatusBar1->clearMessage();
    repaint();
}

void TNewCDForm::addTypedMask()
{
    const QString mask = m_ui->Edit2->text().trimmed();
    if (mask.isEmpty() || containsNoCase(*m_ui->ListBox1, mask)) {
        return;
    }
    m_ui->ListBox1->addItem(mask);
    m_ui->filemask->setChecked(true);
}

void TNewCDForm::addOfferedMasks(bool selectedOnly)
{
    for (int row = 0; row < m_ui->ListBox2->count(); ++row) {
        const QListWidgetItem* offered = m_ui->ListBox2->item(row);
        if ((selectedOnly && !offered->isSelected()) ||
            containsNoCase(*m_ui->ListBox1, offered->text())) {
            continue;
        }
        m_ui->ListBox1->addItem(offered->text());
        m_ui->filemask->setChecked(true);
    }
}

void TNewCDForm::removeChosenMasks()
{
    for (int row = m_ui->ListBox1->count() - 1; row >= 0; --row) {
        if (m_ui->ListBox1->item(row)->isSelected()) {
            delete m_ui->ListBox1->takeItem(row);
        }
    }
}

std::string TNewCDForm::scanMask() const
{
    if (!m_ui->filemask->isChecked() || m_ui->ListBox1->count() == 0) {
        return "*.*";
    }
    std::string mask;
    for (int row = 0; row < m_ui->ListBox1->count(); ++row) {
        mask += utf8(m_ui->ListBox1->item(row)->text());
        mask += ';';
    }
    return mask;
}

} // namespace scan
