#include "app/AboutUnit.h"

#include "ui/icons.h"
#include "ui_AboutUnit.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

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

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TAboutForm>()), m_readmePath(defaultReadmePath()),
      m_openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); })
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
    QString problem;
    if (!readme.isFile()) {
        problem =
            QStringLiteral("找不到说明文件：\n%1").arg(QDir::toNativeSeparators(m_readmePath));
    } else if (!QFile(m_readmePath).open(QIODevice::ReadOnly)) {
        problem =
            QStringLiteral("无法读取说明文件：\n%1").arg(QDir::toNativeSeparators(m_readmePath));
    } else if (!m_openUrl(QUrl::fromLocalFile(readme.absoluteFilePath()))) {
        problem = QStringLiteral("没有可以打开说明文件的程序：\n%1")
                      .arg(QDir::toNativeSeparators(m_readmePath));
    }
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Vellumark 1.32"), problem);
    }
}
