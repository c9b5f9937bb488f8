#pragma once

#include "catalog/cdinfo.h"
#include "catalog/disk.h"

#include <QDate>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>

class QLineEdit;
class QComboBox;
class QDateTimeEdit;
class QPushButton;

namespace platform {
class Clock;
class Drives;
class UserDialogs;
} // namespace platform

namespace app {

// The page "光盘信息" (TabSheet2): the information fields of the shown record, stored in
// its .ifn. Controls keep their given names (cdno, cdowner, cdtime, cdbuyaddr, cdmoney2,
// cdmoney, cdstyle, cdzl, cdstat, cdxz, cdother, BitBtn1, BitBtn2).
class InfoPanel : public QWidget
{
    Q_OBJECT
public:
    InfoPanel(platform::Drives& drives, platform::UserDialogs& dialogs,
              const platform::Clock& clock, QWidget* parent = nullptr);

    // Where Save writes and Refill reads (a found-CD entry passes its target record),
    // the drive letter of the record's root line and the caption of the list item, for
    // the capacity query.
    void setRecord(const catalog::RecordRef& record, char driveLetter,
                   const std::string& captionGbk);

    // Fills the controls from the record's .ifn. Throws catalog::FileError for a file
    // that cannot be read or is shorter than 192 bytes; the controls then keep their text.
    void LoadInfoPanel(const catalog::RecordRef& record);
    void ClearInfoPanel();
    // The .ifn of the record when it exists, else the defaults; a read error is shown as
    // a message and the controls keep their text.
    void loadOrClear(const catalog::RecordRef& record);

    // "保存": writes the controls into the record's .ifn; errors are shown as messages.
    void save();
    // "重填": the stored values again, or the defaults when there is no .ifn.
    void refill();
    // A click on the capacity field: reads the disc's size when none is recorded.
    void cdmoney2Click();

    // The disc's capacity in bytes into cdmoney, shown in MB (not saved yet); an unknown
    // capacity leaves cdmoney empty and shows "0MB", which offers the capacity query.
    void setCapacity(std::optional<std::uint64_t> bytes);

    catalog::TCDInfo values() const;
    QPushButton* saveButton() const { return m_save; }

    // "0MB", or the capacity in MB with one decimal ("650.0MB").
    static QString capacityText(const std::string& cdmoneyGbk);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showInfo(const catalog::TCDInfo& info);
    bool writeValues();

    platform::Drives& m_drives;
    platform::UserDialogs& m_dialogs;
    const platform::Clock& m_clock;
    catalog::RecordRef m_record;
    bool m_hasRecord = false;
    char m_driveLetter = 0;
    std::string m_captionGbk;
    // The stored day number and the date the picker showed for it: an unchanged date
    // writes the value back bit for bit, fraction included.
    double m_cdtimeValue = 0.0;
    QDate m_cdtimeShownDate;

    QLineEdit* m_cdno;
    QLineEdit* m_cdowner;
    QDateTimeEdit* m_cdtime;
    QLineEdit* m_cdbuyaddr;
    QLineEdit* m_cdmoney2;
    QLineEdit* m_cdmoney;
    QComboBox* m_cdstyle;
    QComboBox* m_cdzl;
    QComboBox* m_cdstat;
    QComboBox* m_cdxz;
    QLineEdit* m_cdother;
    QPushButton* m_save;
    QPushButton* m_refill;
};

} // namespace app
