#pragma once
// Ties a top-level widget to the window directory: its title and visibility are registered while
// it exists, and other processes' requests (set title, show, hide, close) reach the widget.

class QWidget;

namespace lt::ui
{

// The registration lives as long as the widget.
void registerWindow(QWidget* window);

} // namespace lt::ui
