#include "window/form1.h"

// Placeholder until the clock, the list pick and the exit confirmation are built.
void Form1::Timer2_Timer() {}
void Form1::List1_Click() {}
bool Form1::Form_Unload() {
    return false;
}
