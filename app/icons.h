#pragma once

#include <QIcon>

// The program's icons. Icons of folders and boxes carry their open form as the
// QIcon::Selected pixmap, so a view shows the open folder while the node is selected.
namespace app {

// Icon class 0..14 of a CD's content tree; class 1 = folder (open while selected).
const QIcon& contentIcon(int iconClass);
// Box tree node kinds 0..5 (catalog::BoxNode); kind 1 = box (open while selected).
const QIcon& boxTreeIcon(int kind);
// CD list item kinds: box 0, CD record 2, found folder 3, found CD 4, drive 5.
const QIcon& cdListIcon(int kind);
// A CD-ROM drive, with or without a disc.
const QIcon& driveIcon(bool discPresent);
// The application's own icon.
const QIcon& applicationIcon();

} // namespace app
