#pragma once

#include <string>

class QTreeWidget;

// The read-only box tree in which a dialog picks a box (adding a CD or a box, moving,
// output, the icon rebuild).
namespace ui {

// The root node "Orlendy" and the library's boxes, sorted, root expanded. Selects the box
// at boxPathGbk, or the root when that box is gone.
void fillBoxTree(QTreeWidget& view, const std::string& libraryRoot, const std::string& boxPathGbk);
// The box path (GBK, each name followed by a backslash) of the selected node; "" for the
// root, and for no selection.
std::string selectedBoxPath(const QTreeWidget& view);

} // namespace ui
