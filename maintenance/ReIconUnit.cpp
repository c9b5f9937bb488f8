#include "maintenance/ReIconUnit.h"

#include "catalog/box_tree.h"
#include "catalog/library.h"
#include "maintenance/maintenance.h"
#include "platform/user_dialogs.h"
#include "ui/box_tree_picker.h"
#include "ui/gbk_text.h"
#include "ui/run_aside.h"
#include "ui_ReIconUnit.h"

#include <QScopeGuard>
#include <QScreen>
#include <QTimer>

#include <exception>

namespace maintenance {

namespace {

using platform::MessageIcon;

const QString IdleCaption = QStringLiteral("重建光盘图标");

} // namespace

TReIconForm::TReIconForm(platform::UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_ui(new Ui::TReIconForm), m_dialogs(dialogs)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size().expandedTo(minimumSizeHint()));
    // The warning about the time it takes stands out in red.
    QPalette warning = m_ui->Label6->palette();
    warning.setColor(QPalette::WindowText, Qt::red);
    m_ui->Label6->setPalette(warning);
    m_ui->ProgressBar1->setMinimum(0);
    m_ui->ProgressBar1->setMaximum(1);

    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(33);
    connect(m_progressTimer, &QTimer::timeout, this, &TReIconForm::showProgress);

    const auto guarded = [this](void (TReIconForm::*handler)()) {
        return [this, handler] {
            try {
                (this->*handler)();
            } catch (const std::exception& error) {
                m_dialogs.message(error.what(), MessageIcon::Error);
            }
        };
    };
    connect(m_ui->BitBtn1, &QPushButton::clicked, this, guarded(&TReIconForm::BitBtn1Click));
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, guarded(&TReIconForm::BitBtn2Click));
}

TReIconForm::~TReIconForm()
{
    m_walk.abort();
}

void TReIconForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* shownOn = screen()) {
        move(shownOn->availableGeometry().center() - rect().center());
    }
    // Read from disk at every opening; a preset box that is gone leaves the root selected.
    ui::fillBoxTree(*m_ui->TreeView1, m_libraryRoot, m_boxPath);
    m_ui->TreeView1->setFocus();
    m_walk.restart();
    m_done = false;
}

void TReIconForm::SetRebuilding(bool on)
{
    m_running = on;
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_ui->Label1, m_ui->TreeView1, m_ui->GroupBox1, m_ui->BitBtn1}) {
        control->setEnabled(!on);
    }
    m_ui->BitBtn2->setEnabled(true);
    m_ui->BitBtn2->setText(on ? QStringLiteral("中止") : QStringLiteral("取消"));
    m_ui->ProgressBar1->setValue(0);
}

void TReIconForm::BitBtn1Click()
{
    const std::string boxPath = ui::selectedBoxPath(*m_ui->TreeView1);
    std::string shown = std::string(catalog::LibraryRootCaption) + boxPath;
    if (!shown.empty() && shown.back() == '\\') {
        shown.pop_back();
    }
    if (!m_dialogs.ask("将对　" + ui::fromGbk(shown).toStdString() +
                           " 下的光盘镜象重新生成图标！\r\r这将是一个比较耗时的过程，是否继续？",
                       MessageIcon::Warning)) {
        return;
    }
    const std::string folder = catalog::LibraryPath(m_libraryRoot, boxPath);
    SetRebuilding(true);
    RebuildCounts counts;
    {
        const auto idle = qScopeGuard([this] {
            SetRebuilding(false);
            setWindowTitle(IdleCaption);
        });
        const catalog::BoxCounts records =
            catalog::CountBoxEntries(folder, catalog::CountMode::Records, true);
        m_ui->ProgressBar1->setValue(0);
        // An empty box shows an empty bar, not a busy one.
        m_ui->ProgressBar1->setMaximum(static_cast<int>(std::max(records.records, 1LL)));
        counts = runRebuild(folder);
    }
    if (m_walk.aborted()) {
        return;
    }
    m_dialogs.message(RebuildReport(counts),
                      counts.skippedUtf8.empty() ? MessageIcon::Information : MessageIcon::Warning);
    m_done = true;
    m_boxPath = boxPath;
    accept();
}

RebuildCounts TReIconForm::runRebuild(const std::string& folder)
{
    m_walk.restart();
    RebuildHooks hooks;
    hooks.aborted = [this] { return m_walk.stopRequested(); };
    hooks.starting = [this](const std::string& cdNameGbk) { m_walk.starting(cdNameGbk); };
    hooks.advanced = [this] { m_walk.advanced(); };
    m_progressTimer->start();
    const auto stopped = qScopeGuard([this] {
        m_progressTimer->stop();
        showProgress();
    });
    return ui::RunAside([&] { return RebuildIconsUnder(folder, hooks); },
                        ui::WhileRunning::TakeUserInput);
}

// The bar, and the CD being rebuilt in the caption.
void TReIconForm::showProgress()
{
    m_ui->ProgressBar1->setValue(std::min(m_walk.advancedCount(), m_ui->ProgressBar1->maximum()));
    const auto current = m_walk.current();
    const QString caption =
        current ? QStringLiteral("正在重建镜象光盘图标....") + ui::fromGbk(*current) : IdleCaption;
    if (windowTitle() != caption) {
        setWindowTitle(caption);
    }
}

void TReIconForm::BitBtn2Click()
{
    if (!m_running) {
        QDialog::reject();
        return;
    }
    m_walk.askWhilePaused([this] { return m_dialogs.ask("中止重建图标过程？", MessageIcon::Question); });
}

void TReIconForm::reject()
{
    try {
        BitBtn2Click();
    } catch (const std::exception& error) {
        m_dialogs.message(error.what(), MessageIcon::Error);
    }
}

} // namespace maintenance
