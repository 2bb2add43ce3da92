#include "app/form1.h"
#include "ui_form1.h"

void Form1::connectSearching() {}

bool Form1::searchEventFilter(QObject *, QEvent *)
{
    return false;
}

void Form1::Combo1_KeyPress(int) {}
void Form1::Combo1_Click() {}
void Form1::CmdGo_Click() {}
