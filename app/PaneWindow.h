// Pane windows may go away from inside one of their own handlers (a button on
// the home page makes another folder current, which destroys the page): they
// leave their parent at once and are deleted once control is back in the loop.
#pragma once

class QWidget;

void DestroyPaneWindow(QWidget* window);
