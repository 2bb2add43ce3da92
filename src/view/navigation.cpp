#include "app/form1.h"
#include "ui_form1.h"

void Form1::connectViewing() {}

bool Form1::viewEventFilter(QObject *, QEvent *)
{
    return false;
}

void Form1::H1Down_MouseDown() {}
void Form1::H1Up_MouseDown() {}
void Form1::H2Down_MouseDown() {}
void Form1::H2Up_MouseDown() {}
void Form1::H1Down_MouseUp() {}
void Form1::H1Up_MouseUp() {}
void Form1::H2Down_MouseUp() {}
void Form1::H2Up_MouseUp() {}
void Form1::Timer3_Timer() {}
void Form1::hscroll1_Change() {}
void Form1::hscroll1_Scroll() {}
void Form1::hscroll2_Change() {}
void Form1::hscroll2_Scroll() {}
void Form1::List1_Click() {}
void Form1::List1_KeyPress(int) {}
