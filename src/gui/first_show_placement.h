#pragma once

class QMdiSubWindow;

namespace pvx::gui {

/// Places `window`, new in an MDI area, when it is first shown: that is when
/// its size is final (its texts localised, the frame laid out; a window made
/// while the frame is hidden is shown with the frame). It goes where it
/// covers no other window (see freePlace), and the area scrolls to it when
/// the view has no room left. A minimised or maximised window is left as is.
void placeWhenFirstShown(QMdiSubWindow &window);

} // namespace pvx::gui
