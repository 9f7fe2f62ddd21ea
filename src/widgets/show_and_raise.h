#pragma once

class QWidget;

/// Shows a top-level window, restoring it when minimised and keeping any other state (maximised), and brings it
/// to the front: how either window of the program is asked for.
void showAndRaise(QWidget& window);
