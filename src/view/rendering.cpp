#include "app/form1.h"
#include "ui_form1.h"

void Form1::TryToDisplay() {}
void Form1::MenuViewOriginal_Click() {}
