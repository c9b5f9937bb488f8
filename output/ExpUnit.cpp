#include "output/ExpUnit.h"

#include "catalog/box_tree.h"
#include "catalog/disk.h"
#include "catalog/library.h"
#include "catalog/text.h"
#include "migrate/export_csv.h"
#include "organize/box_paths.h"
#include "output/output.h"
#include "output/print_listing.h"
#include "platform/printing.h"
#include "platform/settings_store.h"
#include "platform/shell.h"
#include "platform/user_dialogs.h"
#include "ui/box_tree_picker.h"
#include "ui/gbk_text.h"
#include "ui/message_lines.h"
#include "ui/open_file.h"
#include "ui/run_aside.h"
#include "ui_ExpUnit.h"

#include <QApplication>
#include <QFile>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>

#include <sys/statvfs.h>

#include <filesystem>
#include <future>

namespace output {

namespace {

using platform::MessageIcon;

constexpr char OpenAfterOutputValue[] = "输出后打开文件夹或文件";

bool hasFreeSpace(const std::string& folder)
{
    struct statvfs space = {};
    return ::statvfs(folder.c_str(), &space) == 0 &&
           static_cast<unsigned long long>(space.f_bavail) * space.f_frsize > 0;
}

bool isFolder(const std::string& path)
{
    std::error_code error;
    return catalog::FolderExists(path) && std::filesystem::is_directory(path, error);
}

} // namespace

TExpForm::TExpForm(ExpServices services, QWidget* parent)
    : QDialog(parent), m_ui(new Ui::TExpForm), m_services(std::move(services))
{
    m_ui->setupUi(this);
    // A fixed border: neither resized nor maximised.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    // The folder reads like a label on the dialog's own colour.
    QPalette palette = m_ui->Edit1->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    m_ui->Edit1->setPalette(palette);
    m_ui->ProgressBar1->setMinimum(0);

    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(33);
    connect(m_progressTimer, &QTimer::timeout, this, &TExpForm::showProgress);

    const auto guarded = [this](void (TExpForm::*handler)()) {
        return [this, handler] {
            try {
                (this->*handler)();
            } catch (const std::exception& error) {
                m_services.dialogs.message(error.what(), MessageIcon::Error);
            }
        };
    };
    connect(m_ui->SpeedButton1, &QToolButton::clicked, this, guarded(&TExpForm::SpeedButton1Click));
    connect(m_ui->BitBtn1, &QPushButton::clicked, this, guarded(&TExpForm::BitBtn1Click));
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, guarded(&TExpForm::BitBtn2Click));
    connect(m_ui->CsvButton, &QPushButton::clicked, this, guarded(&TExpForm::CsvButtonClick));
    connect(m_ui->OverExpOpenFile, &QCheckBox::clicked, this,
            guarded(&TExpForm::OverExpOpenFileClick));
    FormCreate();
}

TExpForm::~TExpForm()
{
    // A walk still running stops at its next entry.
    m_walk.abort();
}

void TExpForm::FormCreate()
{
    m_ui->ComboBox1->addItems(
        {QStringLiteral("TXT文档"), QStringLiteral("HTML文档"), QStringLiteral("打印机")});
    m_ui->ComboBox1->setCurrentIndex(TextType);
    m_outputFolder = catalog::WithSlash(m_services.documentsFolder);
    m_ui->Edit1->setText(ui::fromNative(m_outputFolder));
    m_ui->OverExpOpenFile->setChecked(
        m_services.settings.readInteger(catalog::SoftwareKey, OpenAfterOutputValue, 1) == 1);
}

void TExpForm::setLibraryRoot(const std::string& root)
{
    m_libraryRoot = root;
}

bool TExpForm::openAfterOutput() const
{
    return m_ui->OverExpOpenFile->isChecked();
}

void TExpForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* shownOn = screen()) {
        move(shownOn->availableGeometry().center() - rect().center());
    }
    FormShow();
}

void TExpForm::FormShow()
{
    // The tree is read from disk at every opening: the library may have changed since.
    ui::fillBoxTree(*m_ui->TreeView1, m_libraryRoot, m_expStartPath);
    m_ui->TreeView1->setFocus();
    m_walk.restart();
    m_done = false;
}

void TExpForm::OverExpOpenFileClick()
{
    m_services.settings.writeInteger(catalog::SoftwareKey, OpenAfterOutputValue,
                                     m_ui->OverExpOpenFile->isChecked() ? 1 : 0);
}

void TExpForm::SpeedButton1Click()
{
    for (;;) {
        const auto chosen =
            m_services.dialogs.chooseFolder("请选择一个文件夹供输出的文件存放", m_outputFolder);
        if (!chosen) {
            return;
        }
        if (hasFreeSpace(*chosen)) {
            m_outputFolder = catalog::WithSlash(*chosen);
            m_ui->Edit1->setText(ui::fromNative(m_outputFolder));
            return;
        }
        m_services.dialogs.message("指定目标没有足够空间!", MessageIcon::Error);
    }
}

void TExpForm::SetOutputBusy(bool running)
{
    m_running = running;
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_ui->SpeedButton1, m_ui->Edit1, m_ui->Label1, m_ui->ComboBox1, m_ui->Label2,
             m_ui->TreeView1, m_ui->BitBtn1, m_ui->CsvButton, m_ui->OverExpOpenFile}) {
        control->setEnabled(!running);
    }
    m_ui->BitBtn2->setEnabled(true);
    m_ui->BitBtn2->setText(running ? QStringLiteral("中止") : QStringLiteral("取消"));
    m_ui->ProgressBar1->setValue(0);
}

void TExpForm::BitBtn1Click()
{
    const std::string boxPath = ui::selectedBoxPath(*m_ui->TreeView1);
    const std::string boxFolder = catalog::LibraryPath(m_libraryRoot, boxPath);
    const int type = m_ui->ComboBox1->currentIndex();
    const std::string outputFolder = m_outputFolder;
    if (type == PrinterType) {
        if (m_services.printing == nullptr || !m_services.printing->hasPrinter()) {
            m_services.dialogs.message("您没有打印机!无法打印！", MessageIcon::Error);
            return;
        }
        if (!m_services.dialogs.ask("Vellumark 不推荐 您直接在系统里打印！\r\r"
                                    "而是推荐您输出为文本或HTML后打印！\r\r"
                                    "确认要在 Vellumark 里打印？",
                                    MessageIcon::Warning)) {
            return;
        }
    } else {
        if (!isFolder(outputFolder)) {
            m_services.dialogs.message("指定的目标文件夹不存在！", MessageIcon::Warning);
            return;
        }
        if (!m_services.dialogs.ask("选定光盘输出到　" +
                                        ui::fromNative(outputFolder).toStdString() + " ?",
                                    MessageIcon::Question)) {
            return;
        }
    }

    SetOutputBusy(true);
    BatchResult result;
    try {
        const catalog::BoxCounts counts =
            catalog::CountBoxEntries(boxFolder, catalog::CountMode::Records, true);
        m_ui->ProgressBar1->setMaximum(static_cast<int>(std::max(counts.records, 1LL)));
        result = runBatch(boxFolder, outputFolder, type);
    } catch (...) {
        SetOutputBusy(false);
        setWindowTitle(QStringLiteral("批量输出"));
        throw;
    }
    SetOutputBusy(false);
    setWindowTitle(QStringLiteral("批量输出"));
    if (m_walk.aborted()) {
        return;
    }
    if (result.failed.empty()) {
        m_services.dialogs.message("输出完成！", MessageIcon::Information);
    } else {
        reportFailed(result);
    }
    if (type != PrinterType && openAfterOutput()) {
        ui::openWithApplication(m_services.shell, m_services.dialogs, outputFolder, "输出文件夹");
    }
    m_done = true;
    m_expStartPath = boxPath;
    accept();
}

void TExpForm::CsvButtonClick()
{
    const std::string boxPath = ui::selectedBoxPath(*m_ui->TreeView1);
    const std::string boxFolder = catalog::LibraryPath(m_libraryRoot, boxPath);
    const auto chosen = m_services.dialogs.saveFileName(
        m_outputFolder, catalog::gbkToUtf8(organize::BoxText(boxPath)) + ".csv",
        "CSV表格(*.CSV) (*.csv)");
    if (!chosen) {
        return;
    }
    std::string target = *chosen;
    // The save dialog asked about the name typed; with the extension added it is another
    // file, which may be the user's own.
    if (!catalog::upperAscii(target).ends_with(".CSV")) {
        target += ".csv";
        if (catalog::PathExists(target) &&
            !m_services.dialogs.ask(target.substr(target.rfind('/') + 1) +
                                        " 已存在。\r要替换它吗？",
                                    MessageIcon::Warning, platform::UserDialogs::Default::No)) {
            return;
        }
    }
    migrate::CsvExport result;
    {
        SetOutputBusy(true);
        const auto idle = qScopeGuard([this] { SetOutputBusy(false); });
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto cursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        const std::string root = m_libraryRoot;
        result = ui::RunAside([&] { return migrate::ExportBoxCsv(root, boxFolder, target); });
    }
    std::string text = "输出完成！共 " + std::to_string(result.cds) + " 张光盘, " +
                       std::to_string(result.rows) + " 行。";
    if (!result.failedUtf8.empty()) {
        text += "\r\r有 " + std::to_string(result.failedUtf8.size()) + " 张光盘无法读取：\r" +
                ui::MessageLines(result.failedUtf8);
    }
    m_services.dialogs.message(text, result.failedUtf8.empty() ? MessageIcon::Information
                                                               : MessageIcon::Warning);
    if (openAfterOutput()) {
        ui::openWithApplication(m_services.shell, m_services.dialogs, target, "输出文件");
    }
    m_done = true;
    m_expStartPath = boxPath;
    accept();
}

BatchResult TExpForm::runBatch(const std::string& boxFolder, const std::string& outputFolder,
                               int type)
{
    m_walk.restart();
    BatchHooks hooks;
    hooks.aborted = [this] {
        if (m_beforeEntry) {
            m_beforeEntry();
        }
        return m_walk.stopRequested();
    };
    hooks.starting = [this](const std::string& cdNameGbk) { m_walk.starting(cdNameGbk); };
    hooks.advanced = [this] { m_walk.advanced(); };
    if (type == PrinterType) {
        // Printers are driven from the window's thread: each CD is handed over there and
        // the walk waits for its job (or its failure).
        hooks.print = [this](const std::string& listingPath, const std::string&) {
            auto job = std::make_shared<std::packaged_task<void()>>(
                [this, listingPath] { PrintListing(*m_services.printing, listingPath); });
            std::future<void> printed = job->get_future();
            QMetaObject::invokeMethod(
                this, [job] { (*job)(); }, Qt::QueuedConnection);
            printed.get();
        };
    }
    const BatchType batchType = type == TextType   ? BatchType::Text
                                : type == HtmlType ? BatchType::Html
                                                   : BatchType::Printer;

    m_progressTimer->start();
    const auto stopped = qScopeGuard([this] {
        m_progressTimer->stop();
        showProgress();
    });
    return ui::RunAside([&] { return OutputBoxTree(boxFolder, outputFolder, batchType, hooks); },
                        ui::WhileRunning::TakeUserInput);
}

// The progress of the walk on screen: the bar, and the CD being written in the caption.
void TExpForm::showProgress()
{
    m_ui->ProgressBar1->setValue(std::min(m_walk.advancedCount(), m_ui->ProgressBar1->maximum()));
    const auto current = m_walk.current();
    const QString caption = current ? QStringLiteral("正在输出....") + ui::fromGbk(*current)
                                    : QStringLiteral("批量输出");
    if (windowTitle() != caption) {
        setWindowTitle(caption);
    }
}

// The CDs that could not be written, by name, and how many they are.
void TExpForm::reportFailed(const BatchResult& result)
{
    std::vector<std::string> namesUtf8;
    for (const std::string& nameGbk : result.failed) {
        namesUtf8.push_back(ui::fromGbk(nameGbk).toStdString());
    }
    m_services.dialogs.message("输出完成！\r\r有 " + std::to_string(result.failed.size()) +
                                   " 张光盘无法输出：\r" + ui::MessageLines(namesUtf8),
                               MessageIcon::Warning);
}

void TExpForm::BitBtn2Click()
{
    if (!m_running) {
        QDialog::reject();
        return;
    }
    // Nothing more is written before the answer.
    m_walk.askWhilePaused(
        [this] { return m_services.dialogs.ask("中止输出过程？", MessageIcon::Question); });
}

void TExpForm::reject()
{
    try {
        BitBtn2Click();
    } catch (const std::exception& error) {
        m_services.dialogs.message(error.what(), MessageIcon::Error);
    }
}

} // namespace output
