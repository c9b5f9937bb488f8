#include "app/panel_bar.h"

#include <QLabel>

namespace app {

PanelBar::PanelBar(const QString& objectName, std::vector<int> widths, QWidget* parent)
    : QStatusBar(parent)
{
    setObjectName(objectName);
    setSizeGripEnabled(false);
    const int count = static_cast<int>(widths.size()) + 1;
    m_panels.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(objectName + QStringLiteral("Panel%1").arg(i + 1));
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        if (i < count - 1) {
            label->setFixedWidth(widths[static_cast<std::size_t>(i)]);
            addWidget(label);
        } else {
            // The last panel takes whatever width is left; a long text is cut rather
            // than widening the window.
            label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            addWidget(label, 1);
        }
        m_panels.push_back(label);
    }
}

void PanelBar::setPanelText(int panel, const QString& text)
{
    if (panel >= 0 && panel < panelCount()) {
        m_panels[static_cast<std::size_t>(panel)]->setText(text);
    }
}

QString PanelBar::panelText(int panel) const
{
    if (panel < 0 || panel >= panelCount()) {
        return {};
    }
    return m_panels[static_cast<std::size_t>(panel)]->text();
}

} // namespace app
