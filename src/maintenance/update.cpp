#include "window/form1.h"

#include <QTimer>

// Placeholder until the update check is built.
void Form1::Timer3_Timer() {
    Timer3->stop();
}
void Form1::Command9_Click() {}
void Form1::Command10_Click() {}
