#pragma once

// Makes SIGINT, SIGTERM and SIGHUP end the application the way closing its window does (the
// event loops end, the view saves its settings), instead of killing it on the spot.
// Call once, after the QApplication exists.
void QuitOnTerminationSignals();
