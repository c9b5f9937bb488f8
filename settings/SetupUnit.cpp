#include "settings/SetupUnit.h"

#include "catalog/library.h"
#include "platform/settings_store.h"
#include "platform/user_dialogs.h"
#include "settings/password.h"
#include "ui/gbk_text.h"
#include "ui/run_aside.h"
#include "ui_SetupUnit.h"

#include <QApplication>
#include <QFile>
#include <QShowEvent>


namespace settings {

namespace {

constexpr char Caption[] = "设置";
// Shown in the empty password fields while they stand for the stored password.
constexpr char StoredPlaceholder[] = "********";

std::string text(const QLineEdit* edit)
{
    return edit->text().toStdString();
}

} // namespace

TSetupForm::TSetupForm(platform::SettingsStore& settings, platform::UserDialogs& dialogs,
                       QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TSetupForm>()), m_settings(settings),
      m_dialogs(dialogs)
{
    m_ui->setupUi(this);
    setFixedSize(size().expandedTo(minimumSizeHint()));
    connect(m_ui->CheckBox1, &QCheckBox::clicked, this, &TSetupForm::CheckBox1Click);
    connect(m_ui->SpeedButton1, &QToolButton::clicked, this, &TSetupForm::SpeedButton1Click);
    connect(m_ui->BitBtn1, &QPushButton::clicked, this, &TSetupForm::BitBtn1Click);
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, &TSetupForm::reject);
}

TSetupForm::~TSetupForm() = default;

void TSetupForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TSetupForm::FormShow()
{
    m_libraryMoved = false;
    setWindowTitle(QString::fromUtf8(Caption));
    showRoot(m_values.libraryRoot);

    const StoredPassword password = ReadStoredPassword(m_settings);
    m_ui->CheckBox1->setChecked(password.required);
    enablePasswordFields(password.required);
    m_ui->Edit2->clear();
    m_ui->Edit3->clear();
    // The stored password is a hash: the fields stay empty and show asterisks for it.
    m_hasStoredPassword = password.required && !password.stored.empty();
    const QString placeholder = m_hasStoredPassword ? QString::fromLatin1(StoredPlaceholder) : QString();
    m_ui->Edit2->setPlaceholderText(placeholder);
    m_ui->Edit3->setPlaceholderText(placeholder);

    m_ui->CheckBox2->setChecked(!m_values.quietMode);
    m_ui->CheckBox3->setChecked(m_values.saveLayoutOnExit);
    m_ui->BitBtn1->setFocus();
}

void TSetupForm::showRoot(const std::string& root)
{
    m_shownRoot = root;
    m_ui->Edit1->setText(ui::fromNative(root));
}

std::string TSetupForm::shownRoot() const
{
    return m_ui->Edit1->text().toStdString();
}

void TSetupForm::enablePasswordFields(bool on)
{
    for (QWidget* field : {static_cast<QWidget*>(m_ui->Label2), static_cast<QWidget*>(m_ui->Edit2),
                           static_cast<QWidget*>(m_ui->Label3), static_cast<QWidget*>(m_ui->Edit3)}) {
        field->setEnabled(on);
    }
}

void TSetupForm::CheckBox1Click()
{
    const bool on = m_ui->CheckBox1->isChecked();
    enablePasswordFields(on);
    if (on) {
        m_ui->Edit2->setFocus();
    }
}

void TSetupForm::SpeedButton1Click()
{
    const auto folder = m_dialogs.chooseFolder("请选择光盘要存放的新位置", m_values.libraryRoot);
    if (!folder) {
        return;
    }
    const NewLocation location =
        ChooseLibraryLocation(*folder, m_shownRoot, m_values.libraryRoot, m_freeSpace);
    switch (location.choice) {
    case LocationChoice::Unchanged:
        break;
    case LocationChoice::Accepted:
        showRoot(location.root);
        break;
    case LocationChoice::NoSpace:
        m_dialogs.message("目标磁盘没有足够空间，不能作为存放点!", platform::MessageIcon::Error);
        break;
    case LocationChoice::InsideLibrary:
        m_dialogs.message("不能将光盘存放到原存放点自身及其子文件夹中!", platform::MessageIcon::Error);
        break;
    }
}

bool TSetupForm::validatePassword(bool& keepStored)
{
    const QString typed = m_ui->Edit2->text();
    keepStored = m_hasStoredPassword && typed.isEmpty() && m_ui->Edit3->text().isEmpty();
    if (!m_ui->CheckBox1->isChecked()) {
        return true;
    }
    const PasswordRefusal refusal =
        CheckPasswordEntry({true, keepStored, text(m_ui->Edit2), text(m_ui->Edit3)});
    if (refusal != PasswordRefusal::None) {
        m_dialogs.message(refusal == PasswordRefusal::Empty ? "密码不能为空!" : "两次输入的密码不一样!",
                          platform::MessageIcon::Warning);
        m_ui->Edit2->setFocus();
        return false;
    }
    // Only a password typed just now can be shown; a stored one is kept as a hash.
    if (!keepStored) {
        m_dialogs.message("请牢记密码: " + typed.toStdString(), platform::MessageIcon::Warning);
    }
    return true;
}

bool TSetupForm::relocate()
{
    const std::string newRoot = m_shownRoot;
    // Copying into another library merges the two for good: only when the user says so.
    if (HoldsLibrary(newRoot) &&
        !m_dialogs.ask("文件夹 " + shownRoot() + " 中已有光盘库, 合并吗?",
                       platform::MessageIcon::Question, platform::UserDialogs::Default::No)) {
        return false;
    }
    setWindowTitle(QString::fromUtf8("正在将光盘移动到新处....请稍侯"));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setEnabled(false);
    std::string failure;
    try {
        const std::string oldRoot = m_values.libraryRoot;
        const organize::TreeTransfer transfer =
            ui::RunAside([&] { return RelocateLibrary(oldRoot, newRoot); });
        if (transfer.filesNotCopied > 0) {
            // An incomplete copy must not become the library.
            failure = "有 " + std::to_string(transfer.filesNotCopied) +
                      " 个文件未能复制，光盘存放位置未改变。";
        }
    } catch (const organize::TargetInsideSource&) {
        failure = "不能将光盘存放到原存放点自身及其子文件夹中!";
    } catch (const std::exception& error) {
        failure = error.what();
    }
    setEnabled(true);
    QApplication::restoreOverrideCursor();
    setWindowTitle(QString::fromUtf8(Caption));
    if (!failure.empty()) {
        m_dialogs.message(failure, platform::MessageIcon::Error);
        return false;
    }
    m_values.libraryRoot = newRoot;
    m_libraryMoved = true;
    return true;
}

void TSetupForm::BitBtn1Click()
{
    bool keepStored = false;
    if (!validatePassword(keepStored)) {
        return;
    }
    // Nothing is written before the copy succeeded: a failed move changes no setting.
    const bool moving = m_shownRoot != m_values.libraryRoot;
    if (moving && !relocate()) {
        return;
    }
    try {
        using platform::SettingsChange;
        // One write for all: a crash or a refused value never leaves half of them.
        std::vector<SettingsChange> changes =
            PasswordChanges(m_settings, {m_ui->CheckBox1->isChecked(), keepStored,
                                         text(m_ui->Edit2), text(m_ui->Edit3)});
        const bool quietMode = !m_ui->CheckBox2->isChecked();
        const bool saveLayoutOnExit = m_ui->CheckBox3->isChecked();
        changes.push_back(SettingsChange::text(catalog::SoftwareKey, catalog::LibraryRootValue,
                                               m_values.libraryRoot));
        changes.push_back(SettingsChange::integer(catalog::SoftwareKey, "对光盘镜象操作时警示",
                                                  quietMode ? 1 : 0));
        changes.push_back(SettingsChange::integer(catalog::SoftwareKey, "退出时保存窗口布局",
                                                  saveLayoutOnExit ? 1 : 0));
        m_settings.write(changes);
        m_values.quietMode = quietMode;
        m_values.saveLayoutOnExit = saveLayoutOnExit;
    } catch (const std::exception& error) {
        m_dialogs.message(error.what(), platform::MessageIcon::Error);
        return;
    }
    if (moving) {
        m_dialogs.message("光盘库已移到新位置：\r" + shownRoot() + "\r\r原位置的光盘仍然保留。",
                          platform::MessageIcon::Information);
    }
    accept();
}

} // namespace settings
