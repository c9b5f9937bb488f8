#pragma once

#include <QStatusBar>
#include <QString>
#include <vector>

class QLabel;

namespace app {

// A status bar of fixed panels (StatusBar1 ... StatusBar5), each a plain text label.
class PanelBar : public QStatusBar
{
    Q_OBJECT
public:
    // widths: the width of each panel but the last, which takes the rest.
    PanelBar(const QString& objectName, std::vector<int> widths, QWidget* parent = nullptr);

    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const;
    int panelCount() const { return static_cast<int>(m_panels.size()); }

private:
    std::vector<QLabel*> m_panels;
};

} // namespace app
