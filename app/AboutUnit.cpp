#include "app/AboutUnit.h"

#include "ui/icons.h"
#include "ui/open_file.h"
#include "ui_AboutUnit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// readme.txt beside the program (the build tree), else in the shared data folder of an
// installed program (share/vellumark/ beside bin/).
QString defaultReadmePath()
{
    const QDir programFolder(QCoreApplication::applicationDirPath());
    const QString beside = programFolder.filePath(QStringLiteral("readme.txt"));
    const QString installed =
        QDir::cleanPath(programFolder.filePath(QStringLiteral("../share/vellumark/readme.txt")));
    return !QFileInfo::exists(beside) && QFileInfo::exists(installed) ? installed : beside;
}

} // namespace

TAboutForm::TAboutForm(platform::Shell& shell, platform::UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TAboutForm>()), m_shell(shell), m_dialogs(dialogs),
      m_readmePath(defaultReadmePath())
{
    ui->setupUi(this);
    setFixedSize(size().expandedTo(minimumSizeHint()));
    ui->Image1->setPixmap(ui::applicationIcon().pixmap(64, 64));
    QFont title = ui->ProductName->font();
    title.setPointSizeF(title.pointSizeF() * 1.6);
    title.setBold(true);
    ui->ProductName->setFont(title);
    setWindowIcon(ui::applicationIcon());
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TAboutForm::BitBtn1Click);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutForm::~TAboutForm() = default;

void TAboutForm::BitBtn1Click()
{
    const QFileInfo readme(m_readmePath);
    if (readme.isFile() && !QFile(m_readmePath).open(QIODevice::ReadOnly)) {
        m_dialogs.message(QStringLiteral("无法读取说明文件：\r%1")
                              .arg(QDir::toNativeSeparators(m_readmePath))
                              .toStdString(),
                          platform::MessageIcon::Warning);
        return;
    }
    ui::openWithApplication(m_shell, m_dialogs,
                            QFile::encodeName(readme.absoluteFilePath()).toStdString(), "说明文件");
}
