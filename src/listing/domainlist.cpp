#include "window/form1.h"

// Placeholder until the domain lists are built.
void Form1::Label2_Click(int) {}
void Form1::Label3_Click(int) {}
void Form1::Label4_Click(int) {}
void Form1::Label5_Click(int) {}
void Form1::Label6_Click(int) {}
void Form1::Command7_Click() {}
