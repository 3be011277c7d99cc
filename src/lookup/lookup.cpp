#include "window/form1.h"

// Placeholder until the lookup is built.
void Form1::Command8_Click() {}
