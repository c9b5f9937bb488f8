#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TCDMxForm;
}

namespace scan {

// "光盘的描述": the description of a new CD, beside the disc's read-me text.
class TCDMxForm : public QDialog
{
    Q_OBJECT
public:
    explicit TCDMxForm(QWidget* parent = nullptr);
    ~TCDMxForm() override;

    // The proposed description and the read-me text; without read-me text the dialog is
    // short (200 px) and shows only the description, else tall (375 px).
    void prepare(const QString& description, const QString& readme);
    QString description() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TCDMxForm> m_ui;
};

} // namespace scan
