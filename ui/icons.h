#pragma once

#include <QIcon>

// The program's icons. Icons of folders and boxes carry their open form as the
// QIcon::Selected pixmap, so a view shows the open folder while the node is selected.
namespace ui {

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

// The commands of the toolbars, each with a picture of its own.
enum class Command {
    Find,
    Refresh,
    ClearEmptyBoxes,
    NewCd,
    NewBox,
    Import,
    Backup,
    Output,
    RebuildIcons,
    Settings,
    About,
    Exit,
    Delete,
    Move,
    Rename,
    OpenDoors,
    CloseDoors,
    Up,
    LargeIcons,
    SmallIcons,
    List,
    Details,
};
// The desktop theme's icon of a command where the freedesktop naming has one and the
// theme holds it, otherwise the program's own, so the bars say the same without a theme.
QIcon commandIcon(Command command);

} // namespace ui
