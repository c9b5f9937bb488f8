#include "app/info_panel.h"

#include "catalog/record_set.h"
#include "catalog/text.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/user_dialogs.h"
#include "ui/gbk_text.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

#include <charconv>
#include <cstdint>
#include <limits>

namespace app {
namespace {

constexpr double BytesPerMB = 1048576.0;

// Field capacities of the .ifn, in GBK bytes.
constexpr int NameLimit = 20;
constexpr int ChoiceLimit = 12;
constexpr int OtherLimit = 40;

// Keeps a field within its size in GBK bytes. An edit too long for it (a paste) is cut
// to fit: whole characters go from the end of what was inserted, where the cursor stands
// after it. A character GBK cannot store (it would be saved as "?") is refused.
class GbkLimitValidator : public QValidator
{
public:
    GbkLimitValidator(int maxBytes, QObject* parent) : QValidator(parent), m_maxBytes(maxBytes) {}

    State validate(QString& input, int& pos) const override
    {
        const auto converted = catalog::utf8ToGbkCounted(input.toStdString());
        if (converted.replaced != 0) {
            return Invalid;
        }
        std::size_t size = converted.gbk.size();
        while (size > static_cast<std::size_t>(m_maxBytes)) {
            const int last = (pos > 0 ? pos : static_cast<int>(input.size())) - 1;
            size -= ui::toGbk(input.mid(last, 1)).size();
            input.remove(last, 1);
            if (pos > 0) {
                pos = last;
            }
        }
        return Acceptable;
    }

private:
    int m_maxBytes;
};

// Field text as stored; unlike a name, a field keeps every byte it holds.
QString fieldText(const std::string& gbk)
{
    return QString::fromStdString(catalog::gbkToUtf8(gbk));
}

std::string fieldBytes(const QString& text, std::size_t capacity)
{
    return std::string(catalog::cutAtCharBoundary(ui::toGbk(text), capacity));
}

QString megabytes(double bytes)
{
    // QString::number ignores the locale: always "." and no grouping.
    return QString::number(bytes / BytesPerMB, 'f', 1) + QStringLiteral("MB");
}

QLineEdit* makeLineEdit(const char* name, int limit, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setValidator(new GbkLimitValidator(limit, edit));
    return edit;
}

QComboBox* makeChoice(const char* name, const QStringList& items, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setEditable(true);
    // The lists only offer choices: typed text must not become a new item.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setCurrentIndex(0);
    box->setValidator(new GbkLimitValidator(ChoiceLimit, box));
    return box;
}

void setChoiceText(QComboBox* box, const std::string& gbk)
{
    const QString text = fieldText(gbk);
    const int index = box->findText(text);
    if (index >= 0) {
        box->setCurrentIndex(index);
    }
    box->setEditText(text);
}

QDateTime pickerValue(const catalog::DateTimeParts& parts)
{
    return QDateTime(QDate(parts.year, parts.month, parts.day),
                     QTime(parts.hour, parts.minute, parts.second), Qt::UTC);
}

} // namespace

InfoPanel::InfoPanel(platform::Drives& drives, platform::UserDialogs& dialogs,
                     const platform::Clock& clock, QWidget* parent)
    : QWidget(parent), m_drives(drives), m_dialogs(dialogs), m_clock(clock)
{
    m_cdno = makeLineEdit("cdno", NameLimit, this);
    m_cdowner = makeLineEdit("cdowner", NameLimit, this);

    m_cdtime = new QDateTimeEdit(this);
    m_cdtime->setObjectName(QStringLiteral("cdtime"));
    // UTC: a local daylight-saving gap must not move the stored time of day.
    m_cdtime->setTimeSpec(Qt::UTC);
    m_cdtime->setDisplayFormat(QStringLiteral("yyyy年M月d日"));
    m_cdtime->setCalendarPopup(true);

    m_cdbuyaddr = makeLineEdit("cdbuyaddr", NameLimit, this);

    m_cdmoney2 = new QLineEdit(this);
    m_cdmoney2->setObjectName(QStringLiteral("cdmoney2"));
    m_cdmoney2->setReadOnly(true);
    m_cdmoney2->setToolTip(QStringLiteral("单击 获取光盘容量"));
    m_cdmoney2->installEventFilter(this);

    m_cdmoney = makeLineEdit("cdmoney", NameLimit, this);
    m_cdmoney->setReadOnly(true);
    m_cdmoney->hide();

    m_cdstyle = makeChoice("cdstyle",
                           {QStringLiteral("一般光盘"), QStringLiteral("蓝盘"),
                            QStringLiteral("金盘"), QStringLiteral("刻录盘")},
                           this);
    m_cdzl = makeChoice("cdzl",
                        {QStringLiteral("一般"), QStringLiteral("差"), QStringLiteral("烂盘"),
                         QStringLiteral("好"), QStringLiteral("很好")},
                        this);
    m_cdstat = makeChoice(
        "cdstat", {QStringLiteral("保存中"), QStringLiteral("借出"), QStringLiteral("遗失")}, this);
    m_cdxz = makeChoice("cdxz",
                        {QStringLiteral("一般"), QStringLiteral("非常重要"), QStringLiteral("重要"),
                         QStringLiteral("无所谓")},
                        this);
    m_cdother = makeLineEdit("cdother", OtherLimit, this);

    m_save = new QPushButton(QStringLiteral("保存"), this);
    m_save->setObjectName(QStringLiteral("BitBtn1"));
    m_save->setDefault(true);
    m_save->setAutoDefault(true);
    m_refill = new QPushButton(QStringLiteral("重填"), this);
    m_refill->setObjectName(QStringLiteral("BitBtn2"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("光盘编号:"), m_cdno);
    form->addRow(QStringLiteral("光盘所有者"), m_cdowner);
    form->addRow(QStringLiteral("购买时间:"), m_cdtime);
    form->addRow(QStringLiteral("购买地点"), m_cdbuyaddr);
    form->addRow(QStringLiteral("光盘容量"), m_cdmoney2);
    form->addRow(QStringLiteral("光盘种类"), m_cdstyle);
    form->addRow(QStringLiteral("光盘质量"), m_cdzl);
    form->addRow(QStringLiteral("光盘状态"), m_cdstat);
    form->addRow(QStringLiteral("光盘性质"), m_cdxz);
    form->addRow(QStringLiteral("其它说明"), m_cdother);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(QStringLiteral("修改完后，请别忘了按“保存”"), this));
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_refill);

    auto* page = new QVBoxLayout(this);
    page->addLayout(form);
    page->addLayout(buttons);
    page->addStretch();

    connect(m_save, &QPushButton::clicked, this, &InfoPanel::save);
    connect(m_refill, &QPushButton::clicked, this, &InfoPanel::refill);

    ClearInfoPanel();
}

void InfoPanel::setRecord(const catalog::RecordRef& record, char driveLetter,
                          const std::string& captionGbk)
{
    m_record = record;
    m_hasRecord = true;
    m_driveLetter = driveLetter;
    m_captionGbk = captionGbk;
}

void InfoPanel::LoadInfoPanel(const catalog::RecordRef& record)
{
    const catalog::CDInfoRead read = catalog::ReadCDInfo(record);
    if (read.status == catalog::CDInfoRead::Status::Ok) {
        showInfo(read.info);
        m_cdmoney2->setText(capacityText(read.info.cdmoney));
        return;
    }
    const std::string path =
        read.status == catalog::CDInfoRead::Status::Short
            ? catalog::FindRecordFile(record.folder, record.name, catalog::RecordExt::Ifn)
            : record.folder + record.name + std::string(catalog::RecordExt::Ifn);
    throw catalog::FileError(catalog::DisplayPath(path) + ": " +
                             (read.status == catalog::CDInfoRead::Status::Short
                                  ? "Read beyond end of file"
                                  : "No such file or directory"));
}

void InfoPanel::ClearInfoPanel()
{
    const platform::LocalDateTime now = m_clock.now();
    double day =
        catalog::ToDayNumber({now.year, now.month, now.day, now.hour, now.minute, now.second});
    day += now.millisecond / (86400.0 * 1000.0);
    showInfo(catalog::DefaultCDInfo(day));
    m_cdmoney2->clear();
}

void InfoPanel::loadOrClear(const catalog::RecordRef& record)
{
    try {
        if (catalog::FindRecordFile(record.folder, record.name, catalog::RecordExt::Ifn).empty()) {
            ClearInfoPanel();
        } else {
            LoadInfoPanel(record);
        }
    } catch (const catalog::FileError& error) {
        m_dialogs.message(error.what(), platform::MessageIcon::Error);
    }
}

void InfoPanel::save()
{
    writeValues();
}

bool InfoPanel::writeValues()
{
    if (!m_hasRecord) {
        return false;
    }
    try {
        catalog::WriteCDInfo(m_record, values());
        return true;
    } catch (const catalog::FileError& error) {
        m_dialogs.message(error.what(), platform::MessageIcon::Error);
        return false;
    }
}

void InfoPanel::setCapacity(std::optional<std::uint64_t> bytes)
{
    m_cdmoney->setText(bytes ? QString::number(*bytes) : QString());
    m_cdmoney2->setText(bytes ? megabytes(static_cast<double>(*bytes)) : capacityText({}));
}

void InfoPanel::refill()
{
    if (m_hasRecord) {
        loadOrClear(m_record);
    }
}

void InfoPanel::cdmoney2Click()
{
    if (!m_hasRecord || m_cdmoney2->text() != QStringLiteral("0MB")) {
        return;
    }
    const std::string name = ui::fromGbk(m_captionGbk).toStdString();
    const std::string drive = m_driveLetter != 0 ? std::string(1, m_driveLetter) + ":" : ":";
    const std::string notInDrive = "获取光盘容量!\r光盘 " + name + "没有在 " + drive + " 驱中!";
    if (!m_drives.discPresent(m_driveLetter)) {
        m_dialogs.message(notInDrive, platform::MessageIcon::Warning);
        return;
    }
    if (!m_dialogs.ask("是否要获取光盘 " + name + " 的容量?" + "\r" + "请确认 " + drive +
                           " 驱中的光盘是不是光盘 " + name,
                       platform::MessageIcon::Warning)) {
        return;
    }
    // The disc may have gone while the question was open.
    const std::optional<std::uint64_t> size = m_drives.discTotalSize(m_driveLetter);
    if (!size) {
        m_dialogs.message(notInDrive, platform::MessageIcon::Warning);
        return;
    }
    setCapacity(size);
    if (writeValues()) {
        m_dialogs.message("获取光盘容量完成！", platform::MessageIcon::Information);
    }
}

catalog::TCDInfo InfoPanel::values() const
{
    catalog::TCDInfo info;
    info.cdno = fieldBytes(m_cdno->text(), NameLimit);
    info.cdowner = fieldBytes(m_cdowner->text(), NameLimit);
    info.cdbuyaddr = fieldBytes(m_cdbuyaddr->text(), NameLimit);
    info.cdmoney = fieldBytes(m_cdmoney->text(), NameLimit);
    info.cdstyle = fieldBytes(m_cdstyle->currentText(), ChoiceLimit);
    info.cdzl = fieldBytes(m_cdzl->currentText(), ChoiceLimit);
    info.cdstat = fieldBytes(m_cdstat->currentText(), ChoiceLimit);
    info.cdxz = fieldBytes(m_cdxz->currentText(), ChoiceLimit);
    info.cdother = fieldBytes(m_cdother->text(), OtherLimit);

    const QDate date = m_cdtime->date();
    if (date == m_cdtimeShownDate) {
        info.cdtime = m_cdtimeValue;
    } else {
        // A new date keeps the time of day it was given.
        catalog::DateTimeParts parts = catalog::FromDayNumber(m_cdtimeValue);
        parts.year = date.year();
        parts.month = date.month();
        parts.day = date.day();
        info.cdtime = catalog::ToDayNumber(parts);
    }
    return info;
}

QString InfoPanel::capacityText(const std::string& cdmoneyGbk)
{
    std::size_t start = 0;
    while (start < cdmoneyGbk.size() && (cdmoneyGbk[start] == ' ' || cdmoneyGbk[start] == '\t')) {
        ++start;
    }
    const char* first = cdmoneyGbk.data() + start;
    const char* last = cdmoneyGbk.data() + cdmoneyGbk.size();
    if (first != last && *first == '+') {
        ++first;
        // "+-5" is no number.
        if (first != last && *first == '-') {
            return QStringLiteral("0MB");
        }
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) {
        return QStringLiteral("0MB");
    }
    return megabytes(value);
}

bool InfoPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_cdmoney2 && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            m_cdmoney2->rect().contains(mouse->position().toPoint())) {
            cdmoney2Click();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void InfoPanel::showInfo(const catalog::TCDInfo& info)
{
    m_cdno->setText(fieldText(info.cdno));
    m_cdowner->setText(fieldText(info.cdowner));
    m_cdtimeValue = info.cdtime;
    m_cdtime->setDateTime(pickerValue(catalog::FromDayNumber(info.cdtime)));
    m_cdtimeShownDate = m_cdtime->date();
    m_cdbuyaddr->setText(fieldText(info.cdbuyaddr));
    m_cdmoney->setText(fieldText(info.cdmoney));
    setChoiceText(m_cdstyle, info.cdstyle);
    setChoiceText(m_cdzl, info.cdzl);
    setChoiceText(m_cdstat, info.cdstat);
    setChoiceText(m_cdxz, info.cdxz);
    m_cdother->setText(fieldText(info.cdother));
}

} // namespace app
